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

// Plain records of function pointers, not virtual classes: the sanitizers'
// check of a virtual call needs a free file descriptor, which the layer
// must do without when the process has none left.

/// A directory listing under way, in either namespace: each kind of
/// listing starts with this record.
struct FindHandle {
  /// The next entry: false at the end (*status kErrorNoMoreFiles) or when
  /// the listing is cut short (*status its error).
  bool (*next)(FindHandle* self, FindEntry* entry, uint32_t* status);
  /// Ends the listing and frees it.
  void (*close)(FindHandle* self);
};

struct Namespace {
  /// Reads the self-relative descriptor stored for path into *bytes, a
  /// buffer the caller reuses: kErrorSuccess or a Windows error code.
  /// followLink: a link at path stands for what it points to.
  uint32_t (*descriptor)(const char* path, bool followLink,
                         std::vector<uint8_t>* bytes);
  /// Starts listing dir, entries named dir's full path and "/" and their
  /// name: the first entry in *first, or nullptr and *status
  /// (kErrorNoMoreFiles for nothing in it, kErrorDirectory for no
  /// directory).
  FindHandle* (*list)(const std::string& dir, FindEntry* first,
                      uint32_t* status);
  /// The identity of the directory dir: false when it cannot be told.
  bool (*identity)(const std::string& dir, DirectoryIdentity* identity);
};

/// The mounted tree: every path the host's file systems hold.
const Namespace& mountedTree();

/// The volume inside the start path's image (examineStartPath).
const Namespace& imageNamespace();

/// The namespace that answers for path: the image's for a path inside it
/// (the image opened on first use, when the mounted tree cannot read the
/// path), else the mounted tree.
const Namespace& pathNamespace();

}  // namespace platform
}  // namespace vesk
