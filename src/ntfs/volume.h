// A volume read straight from its bytes: the one interface of every volume
// reader, whatever source it reads (a file, a partition, a container) and
// however it reads it. Paths inside a volume are "/" or "/a/b". Readers are
// rows of one table (volumes.cpp), tried in order on a source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// One entry of a directory listing.
struct VolumeEntry {
  std::string name;  // UTF-8
  bool directory;    // an index, a link or junction to a directory too
  bool link;         // a reparse point: a link or junction
};

/// A directory listing under way; deleting it ends it.
struct Listing {
  virtual ~Listing() = default;
  /// The next entry; false after the last one (Volume::listStatus says why).
  virtual bool next(VolumeEntry* entry) = 0;
};

/// An open volume; deleting it closes the volume and its source.
struct Volume {
  virtual ~Volume() = default;
  /// The stored descriptor of the object at inner. 0, or an error code
  /// (kErrorNoSecurityOnObject when nothing is stored).
  virtual uint32_t descriptor(const std::string& inner,
                              std::vector<uint8_t>* bytes) = 0;
  /// Starts listing the directory at inner, in the order a mount lists it:
  /// nullptr when it cannot be read or holds nothing, else the first entry.
  virtual Listing* list(const std::string& inner, VolumeEntry* first) = 0;
  /// Why the last list or next gave nothing: kErrorNoMoreFiles at the end,
  /// kErrorDirectory for no directory, else the error that cut it short.
  virtual uint32_t listStatus() const = 0;
  /// inner with every link on the way and at its end followed inside the
  /// volume, as a mount follows them; inner itself when it cannot be
  /// resolved. *directory: whether the object reached is a directory.
  virtual std::string resolve(const std::string& inner, bool* directory) = 0;
  /// The identity of the directory at inner in *index: true when it can
  /// be opened and is a directory.
  virtual bool directoryIndex(const std::string& inner, uint64_t* index) = 0;
  /// The unnamed data stream of the file at inner as a source of its own,
  /// read-only, to be closed before the volume: 0 and *out, or an error
  /// code (kErrorAccessDenied for a directory).
  virtual uint32_t openFile(const std::string& inner, Source* out) = 0;
};

/// One row of the table: a reader and the volumes it reads.
struct VolumeReader {
  const char* name;
  /// Whether the first sector (512 bytes) of a volume is of its kind.
  bool (*probe)(const uint8_t* firstSector);
  /// Opens the volume in source read-only. 0 and *out, or an error code;
  /// source is closed on failure. source.name names it in messages.
  uint32_t (*open)(Source source, Volume** out);
};

/// Whether any reader is built: without one, no image can be read.
bool volumeReadersBuilt();

/// The volume in source, read by the first row that claims it. 0 and *out,
/// kErrorNotSupported (no reader built), kErrorUnrecognizedVolume (none
/// claims it) or the reader's error; source is closed on failure.
uint32_t openVolume(Source source, Volume** out);

}  // namespace platform
}  // namespace vesk
