#include "support/flat_blocks.h"

#include <vector>

namespace vesk {
namespace test {

namespace {

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == separator)
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

}  // namespace

std::string blocksFromFlat(const std::string& flat,
                           const std::string& ownerLabel, std::string* error) {
  std::string blocks;
  std::string path;
  bool open = false;
  size_t start = 0;
  while (start < flat.size()) {
    const size_t end = flat.find('\n', start);
    if (end == std::string::npos) {
      *error = "a line without its end: " + flat.substr(start);
      return "";
    }
    const std::string line = flat.substr(start, end - start);
    start = end + 1;
    const std::vector<std::string> f = split(line, '\t');
    if (f.size() != 7) {
      *error = std::to_string(f.size()) + " columns: " + line;
      return "";
    }
    if (!open || f[0] != path) {
      if (open) blocks += "\n";
      path = f[0];
      open = true;
      blocks += f[0] + "\t" + f[1];
      if (!ownerLabel.empty() && !f[2].empty())
        blocks += "\t" + ownerLabel + " " + f[2];
      blocks += "\n";
    }
    blocks += "\t" + f[3] + "\t" + f[4] + "\t";
    if (!f[5].empty()) blocks += f[5] + "\t";
    blocks += f[6] + "\n";
  }
  if (open) blocks += "\n";
  return blocks;
}

}  // namespace test
}  // namespace vesk
