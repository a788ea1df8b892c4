// The account names that a Windows installation's registry holds: its SAM
// hive (the machine's users, groups and aliases, and the built-in aliases)
// and its SOFTWARE hive (the profile folder of every account that logged
// on). Hives are read from a source through libregf, never written; the
// values taken from them are read by the portable helpers below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// One account named by the evidence.
struct EvidenceAccount {
  std::string name;    // the bare account name (UTF-8)
  std::string domain;  // "BUILTIN" for the built-in aliases, else ""
};

/// The evidence's names by SID text ("S-1-5-21-...").
using EvidenceNames = std::unordered_map<std::string, EvidenceAccount>;

/// "S-1-5-21-a-b-c", the machine's domain, from the V value of
/// SAM\Domains\Account (its last 12 bytes); "" when v holds fewer.
std::string machineSidOfV(const uint8_t* v, size_t size);

/// The last component of a profile folder's path (a ProfileImagePath value:
/// UTF-16LE, up to its first NUL) as UTF-8; "" when it has none.
std::string profileFolderName(const uint8_t* utf16, size_t size);

/// Whether a hive of fileSize bytes whose header (its first headerSize
/// bytes) claims more bins than the file holds was cut short.
bool hiveCutShort(const uint8_t* header, size_t headerSize, uint64_t fileSize);

/// Whether text is a SID in the form sidText prints ("S-1-5-21-..."):
/// decimal parts without leading zeros, 1 to 15 sub-authorities.
bool isSidText(const std::string& text);

/// Whether this build reads hives (libregf).
bool hiveReaderBuilt();

/// Adds the names of the SAM hive in source (closed here): local users,
/// groups and aliases under the machine's SID, built-in aliases under
/// S-1-5-32; names already known stay. 0, or an error code (kErrorBadDb for a
/// damaged hive, whose readable names are still added, kErrorNotRegistryFile,
/// kErrorFileCorrupt when source could not be read, kErrorNotSupported
/// without libregf).
uint32_t readSamNames(Source source, EvidenceNames* names);

/// As readSamNames, for the ProfileList of a SOFTWARE hive: each SID not
/// yet named is named by its profile folder.
uint32_t readProfileNames(Source source, EvidenceNames* names);

}  // namespace platform
}  // namespace vesk
