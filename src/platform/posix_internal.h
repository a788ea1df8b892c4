// Pieces of the Linux layer that its tests reach directly. No OS type here.
#pragma once

#include <string>

namespace vesk {
namespace platform {

/// A SID that Windows names the same on every machine.
struct WellKnownSid {
  const char* sid;  // "S-1-5-18"
  const char* name;
  const char* domain;
};

/// The row for the SID in string form, or nullptr.
const WellKnownSid* findWellKnownSid(const std::string& sidText);

/// One line of /proc/self/mounts: true with the \\server\share name when it
/// is a cifs or smb3 mount.
bool networkShareOfMountLine(const std::string& line, std::string* remoteName);

}  // namespace platform
}  // namespace vesk
