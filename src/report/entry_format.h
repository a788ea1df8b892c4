// One access entry as one line of an ACL block.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vesk {

/// "\tNAME\tMODE\tPERMISSIONS\tINHERITANCE\n" from the terms in force.
std::string formatEntry(const platform::ExplicitAccess& entry,
                        const std::string& name);

/// text with its control bytes (1 to 31 and 127) written as a backslash and
/// three octal digits, so that a name cannot break the lines and columns.
std::string printable(const std::string& text);

}  // namespace vesk
