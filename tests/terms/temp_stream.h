// Temporary streams for feeding text to the terms reader and reading back
// what the listing wrote.
#pragma once

#include <cstdio>
#include <string>

namespace vesk_test {

/// A temporary stream holding text, at its start; nullptr if none can be made.
inline FILE* streamWith(const std::string& text) {
  FILE* stream = std::tmpfile();
  if (stream == nullptr) return nullptr;
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  return stream;
}

/// Everything written to the stream so far.
inline std::string contentsOf(FILE* stream) {
  std::string text;
  std::rewind(stream);
  char buffer[512];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
    text.append(buffer, got);
  }
  return text;
}

}  // namespace vesk_test
