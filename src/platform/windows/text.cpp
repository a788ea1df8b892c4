// The Windows layer's text and process operations: UTF-8 inside, UTF-16
// towards the system, the ANSI code page only where bytes are printed.
#include "platform/windows/windows_internal.h"
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <mbstring.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf16.h"

namespace vesk {
namespace platform {
namespace {

bool isAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Whether text is UTF-8 throughout (lone surrogates included, as the layer
// writes them).
bool isUtf8(const std::string& text) {
  const std::u16string units = utf16OfUtf8(text);
  return utf8OfUtf16(units.data(), units.size()) == text;
}

// Alerts show UTF-8 text, but the line of a terms file is ANSI.
std::wstring alertText(const char* text) {
  const std::string bytes = text != nullptr ? text : "";
  if (isUtf8(bytes)) return wideOf(bytes);
  const int size = MultiByteToWideChar(
      CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0)
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                        &wide[0], size);
  return wide;
}

}  // namespace

std::wstring wideOf(const std::string& text) {
  const std::u16string units = utf16OfUtf8(text);
  return std::wstring(units.begin(), units.end());
}

std::string utf8Of(const std::wstring& text) {
  const std::u16string units(text.begin(), text.end());
  return utf8OfUtf16(units.data(), units.size());
}

std::wstring fullPathOf(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

std::wstring systemPath(const std::string& path) {
  const std::wstring wide = wideOf(path);
  if (wide.size() < kLongPathFrom || wide.rfind(L"\\\\?\\", 0) == 0 ||
      wide.rfind(L"\\\\.\\", 0) == 0)
    return wide;
  // \\?\ turns off the rules that GetFullPathNameW applies: apply them first.
  const std::wstring full = fullPathOf(wide);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 2 && full[1] == L':') return L"\\\\?\\" + full;
  return full;
}

std::string outputText(const std::string& text, bool* lossy) {
  if (lossy != nullptr) *lossy = false;
  const UINT codePage = GetACP();
  if (isAscii(text) || codePage == CP_UTF8) return text;
  const std::wstring wide = wideOf(text);
  // Without WC_NO_BEST_FIT_CHARS "ā" would print as "a", and a name would
  // pass for another one.
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(
      codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
      static_cast<int>(wide.size()), nullptr, 0, "?", &usedDefault);
  if (size <= 0) {
    if (lossy != nullptr) *lossy = true;
    return std::string(wide.size(), '?');
  }
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                      static_cast<int>(wide.size()), &out[0], size, "?",
                      &usedDefault);
  if (lossy != nullptr) *lossy = usedDefault != FALSE;
  return out;
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) arguments.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    return arguments;
  }
  // Without the wide command line the runtime's ANSI one is all there is.
  for (int i = 0; i < argc; ++i) arguments.push_back(argv[i]);
  return arguments;
}

void messageBox(const char* text, const char* caption, AlertIcon icon) {
  UINT style = icon == AlertIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION;
  MessageBoxW(nullptr, alertText(text).c_str(), alertText(caption).c_str(),
              MB_OK | style);
}

std::string moduleFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    DWORD length = GetModuleFileNameW(nullptr, &path[0], size);
    if (length == 0) return std::string();
    // A full buffer means the name was cut short.
    if (length < size) {
      path.resize(length);
      return utf8Of(path);
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

LocalTime localClock() {
  // One reading for the date and the time, so they cannot straddle midnight.
  SYSTEMTIME now;
  GetLocalTime(&now);
  LocalTime result = {now.wYear, now.wMonth, now.wDay, {}};
  std::snprintf(result.time, sizeof result.time, "%02u:%02u:%02u",
                static_cast<unsigned>(now.wHour),
                static_cast<unsigned>(now.wMinute),
                static_cast<unsigned>(now.wSecond));
  return result;
}

int mbsicmp(const char* a, const char* b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                  reinterpret_cast<const unsigned char*>(b));
}

FILE* standardOutput() { return stdout; }
FILE* standardError() { return stderr; }

FILE* createLogFile(const char* path) {
  return _wfopen(systemPath(path).c_str(), L"wt");
}

bool closeLogFile(FILE* log) { return std::fclose(log) == 0; }

namespace {

FILE* openToRead(const char* path, const wchar_t* mode) {
  const std::wstring wide = systemPath(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return nullptr;
  }
  return _wfopen(wide.c_str(), mode);
}

}  // namespace

FILE* openTermsFile(const char* path) { return openToRead(path, L"rt"); }

FILE* openBinaryFile(const char* path) { return openToRead(path, L"rb"); }

FILE* standardInputBinary() {
  // A report piped in keeps its CRLF: the reader drops the CR itself.
  _setmode(_fileno(stdin), _O_BINARY);
  return stdin;
}

bool backslashIsSeparator() { return true; }

bool isTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

uint64_t monotonicMillis() { return GetTickCount64(); }

void examineStartPath(const std::string&) {}

// Hives are read on Linux only: /names: is not supported here.
std::vector<HiveFailure> readEvidenceNames(const std::string& namesPath) {
  if (namesPath.empty()) return {};
  return {{namesPath, kErrorNotSupported}};
}

void startProcess() {
  // Listings of large trees go to a redirected file: write in big pieces.
  std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

}  // namespace platform
}  // namespace vesk
