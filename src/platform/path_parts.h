// The one loop over the parts of a '/'-separated path, for the Linux layer
// and the volume readers. Portable.
#pragma once

#include <cstddef>
#include <string>

namespace vesk {
namespace platform {

/// Calls visit(part, end) for each part of text from offset from on, in
/// order, leaving out empty parts and "." ("a//./b" has the parts "a" and
/// "b"); end is the offset just past the part. visit returns false to stop,
/// and forEachPart then returns false.
template <typename Visit>
bool forEachPart(const std::string& text, size_t from, Visit visit) {
  for (size_t at = from; at <= text.size();) {
    size_t end = text.find('/', at);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (!visit(part, end)) return false;
  }
  return true;
}

}  // namespace platform
}  // namespace vesk
