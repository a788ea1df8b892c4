// Where the objects of a path are read: a namespace. The Linux layer knows
// two, behind one interface: a mounted tree (extended attributes and
// readdir, mounted_tree.cpp) and the volume inside the start path's disk
// image (image_namespace.cpp). pathNamespace (namespaces.cpp) routes each
// path to the one that holds it; the descriptor and search code ask it and
// never see which it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vesk {
namespace platform {

/// A directory listing under way, in either namespace.
struct FindHandle {
  virtual ~FindHandle() = default;
  /// The next entry: false at the end (*status kErrorNoMoreFiles) or when
  /// the listing is cut short (*status its error).
  virtual bool next(FindEntry* entry, uint32_t* status) = 0;
};

struct Namespace {
  virtual ~Namespace() = default;
  /// Reads the self-relative descriptor stored for path into *bytes, a
  /// buffer the caller reuses: kErrorSuccess or a Windows error code.
  /// followLink: a link at path stands for what it points to.
  virtual uint32_t descriptor(const char* path, bool followLink,
                              std::vector<uint8_t>* bytes) = 0;
  /// Starts listing dir, entries named dir's full path and "/" and their
  /// name: the first entry in *first, or nullptr and *status
  /// (kErrorNoMoreFiles for nothing in it, kErrorDirectory for no
  /// directory).
  virtual FindHandle* list(const std::string& dir, FindEntry* first,
                           uint32_t* status) = 0;
  /// The identity of the directory dir: false when it cannot be told.
  virtual bool identity(const std::string& dir,
                        DirectoryIdentity* identity) = 0;
};

/// The mounted tree: every path the host's file systems hold.
Namespace& mountedTree();

/// The volume inside the start path's image (examineStartPath).
Namespace& imageNamespace();

/// The namespace that answers for path: the image's for a path inside it
/// (the image opened on first use, when the mounted tree cannot read the
/// path), else the mounted tree.
Namespace& pathNamespace();

}  // namespace platform
}  // namespace vesk
