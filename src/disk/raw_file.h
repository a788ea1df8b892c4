// A file or block device read as it is, read-only: the bottom of the stack;
// and the files that belong with it, found beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// Opens path read-only as a source named path. 0, kErrorAccessDenied,
/// kErrorFileNotFound (cannot be opened) or kErrorNotSupported (no size).
uint32_t openRawFile(const std::string& path, Source* out);

/// Whether path names a regular file (links followed).
bool isRegularFile(const std::string& path);

/// path with its links resolved, or path itself when it cannot be: the
/// files that belong with a disk lie beside the file itself, not beside a
/// link to it.
std::string resolvedPath(const std::string& path);

/// Opens a disk and its chain of parents: openOne(path, &parent) opens one
/// file (false when it is missing or damaged) and names its parent as the
/// file records it ("" for none); the parent is then looked for beside it
/// (besideFile), or, with inFolder, where the recorded path leads from the
/// child's folder, then beside it. 0, or kErrorDiskCorrupt: a file missing
/// or damaged, a parent that is the disk or one of its children, or more
/// than kMaxParents.
uint32_t openParentChain(
    const std::string& path, bool inFolder,
    const std::function<bool(const std::string&, std::string*)>& openOne);

}  // namespace platform
}  // namespace vesk
