// One access entry as one line of an ACL block.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vesk {

/// "\tNAME\tMODE\tPERMISSIONS\tINHERITANCE\n" from the terms in force.
std::string formatEntry(const platform::ExplicitAccess& entry,
                        const std::string& name);

}  // namespace vesk
