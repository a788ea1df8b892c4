// One access entry as one line of an ACL block.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vesk {

/// The four columns of an entry line, each without the tabs around it.
struct EntryColumns {
  std::string trustee;
  std::string mode;         // "" for an entry neither grant nor deny
  std::string permissions;  // "" for a mask without terms
  bool permissionsClosed;   // a block closes the column with a tab
  std::string inheritance;
};

/// The columns of entry, named name, from the terms in force.
EntryColumns entryColumns(const platform::ExplicitAccess& entry,
                          const std::string& name);

/// "\tNAME\tMODE\tPERMISSIONS\tINHERITANCE\n"; permissions without a
/// matched term leave out their tab too.
std::string entryLine(const EntryColumns& columns);

/// entryLine(entryColumns(entry, name)).
std::string formatEntry(const platform::ExplicitAccess& entry,
                        const std::string& name);

}  // namespace vesk
