// What the files of the Windows layer share, and its tests reach: the
// system's header as the layer includes it, and the text of paths. Wide
// text is std::wstring, which holds UTF-16 units on Windows.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace vesk {
namespace platform {

/// Paths from this length on are handed to the system made absolute and
/// behind \\?\ (\\?\UNC\ for \\server\share), past the MAX_PATH limit.
constexpr size_t kLongPathFrom = 260 - 12;

/// The UTF-16 of UTF-8 text.
std::wstring wideOf(const std::string& text);

/// The UTF-8 of UTF-16 text.
std::string utf8Of(const std::wstring& text);

/// path made absolute by GetFullPathNameW; path itself when that fails.
std::wstring fullPathOf(const std::wstring& path);

/// path as the "W" calls are given it: UTF-16, and long paths in the
/// \\?\ form; shorter ones keep the rules of ordinary paths (relative, "/").
std::wstring systemPath(const std::string& path);

}  // namespace platform
}  // namespace vesk
