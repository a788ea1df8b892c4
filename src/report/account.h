// Account names of security identifiers, asking the local machine first and
// then the servers behind connected network drives.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vesk {

/// Fills appState.serverNames from the connected network drives. Once a run.
void collectServerNames();

/// The server part of a remote name: "\\fs01\home" gives "fs01"; "" when no
/// backslash follows the server.
std::string serverOfRemoteName(const std::string& remoteName);

/// Once per run, when the first object has been read: takes the account
/// names of the Windows installation being read from its registry (see
/// platform::readEvidenceNames), logging each hive that could not be read.
void readEvidenceNames();

/// The account name of sid; its string form when nobody can name it; "" when
/// sid is not a valid identifier.
std::string accountName(const platform::Sid* sid);

}  // namespace vesk
