// The SIDs that Windows names the same on every machine, by their English
// Windows names. Portable: a table and its index, no lookup of accounts.
#pragma once

#include <cstddef>
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

/// Every row of the well-known table, *count of them.
const WellKnownSid* wellKnownSids(size_t* count);

}  // namespace platform
}  // namespace vesk
