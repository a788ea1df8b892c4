#include "compare/diff_command.h"

#include <cstdio>

#include "compare/compare.h"
#include "core/state.h"
#include "platform/ascii.h"
#include "platform/platform.h"

namespace vesk {
namespace {

const char kUsage[] =
    " - what changed between two ACL reports\n"
    "\n"
    "vesk-diff OLD NEW [/tsv]\n"
    "\n"
    "  OLD, NEW  reports that vesk wrote, as blocks or with /tsv; - reads\n"
    "            standard input\n"
    "  /tsv      one tab-separated line per change\n"
    "\n"
    "Objects are matched by their path below each report's first object.\n"
    "Exit code: 0 the same, 1 different, 2 trouble.\n";

void write(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

std::string plural(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

int runDiff(const std::vector<std::string>& arguments) {
  resetRun();  // the default terms: the owner label of a block
  FILE* err = platform::standardError();
  FILE* out = platform::standardOutput();
  bool flat = false;
  std::vector<std::string> names;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (platform::equalsIgnoringCase(argument.c_str(), "/tsv")) {
      flat = true;
    } else if (argument == "/?" ||
               platform::equalsIgnoringCase(argument.c_str(), "/h") ||
               argument == "--help") {
      write(out, std::string(kTitle) + kUsage);
      return 0;
    } else {
      names.push_back(argument);
    }
  }
  if (names.size() != 2) {
    write(err, std::string(kTitle) + kUsage);
    return 2;
  }
  if (names[0] == "-" && names[1] == "-") {
    write(err, "vesk-diff: standard input can be only one of the reports\n");
    return 2;
  }
  DiffInput inputs[2];
  for (int k = 0; k < 2; ++k) {
    inputs[k].name = names[k];
    if (names[k] == "-") {
      inputs[k].stream = platform::standardInputBinary();
      inputs[k].name = "standard input";
    } else {
      inputs[k].stream = platform::openBinaryFile(names[k].c_str());
    }
    if (inputs[k].stream == nullptr) {
      write(err, "vesk-diff: " + names[k] + ": cannot be opened\n");
      if (k == 1 && names[0] != "-") std::fclose(inputs[0].stream);
      return 2;
    }
  }
  DiffSummary summary;
  const int result =
      compareReports(inputs[0], inputs[1], flat, out, err, &summary);
  for (int k = 0; k < 2; ++k) {
    if (names[k] != "-") std::fclose(inputs[k].stream);
  }
  if (result != 2)
    write(err, "vesk-diff: " + plural(summary.added, "object", "objects") +
                   " added, " + std::to_string(summary.removed) + " removed, " +
                   std::to_string(summary.changed) + " changed; " +
                   plural(summary.entriesAdded, "entry", "entries") +
                   " added, " + std::to_string(summary.entriesRemoved) +
                   " removed\n");
  return result;
}

}  // namespace vesk
