// Any argument vector, split from the input at its NUL bytes, run whole on
// the scripted platform over a small tree. Every run must end with a known
// exit code, every block released and every directory search closed. A
// flat (/tsv) report must have seven columns on every line and rebuild the
// blocks of the same run without /tsv.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "core/state.h"
#include "platform/ascii.h"
#include "report/account.h"
#include "report/report.h"
#include "support/descriptor_builder.h"
#include "support/fake_platform.h"
#include "support/flat_blocks.h"
#include "support/fresh_run.h"
#include "terms/terms.h"

namespace {

using namespace vesk;
using platform::FindEntry;
using test::AceSpec;
using test::DescriptorSpec;

// Past this many arguments nothing new is reached; it keeps runs short.
constexpr size_t kMaxArguments = 64;

std::map<std::string, fake::Object> objects;

// Longer than the progress line shows, and with a control byte that the
// report must escape.
const std::string kLongDirectory =
    "C:\\Data\\Sub\\Deep\\" + std::string(80, 'n') + "\tab";

void require(bool condition) {
  if (!condition) __builtin_trap();
}

fake::Object withDescriptor(const DescriptorSpec& spec) {
  fake::Object object;
  object.descriptor = test::buildDescriptor(spec);
  return object;
}

void buildObjects() {
  const std::vector<AceSpec> aces = {
      {test::kAllowed, 0x03, 0x001F01FF, "S-1-5-32-544"},
      {test::kDenied, 0x04, 0x001200A9, "S-1-5-32-546"},
      {test::kAllowed, 0x00, 0x00100116, "S-1-5-21-1-2-3-1001"},
      {test::kAllowedObject, 0x0B, 0x10000000, "S-1-5-18", 1},
      {test::kAudit, 0x10, 0, "S-1-1-0"},
  };
  objects["C:\\Data"] =
      withDescriptor({0x0404, "S-1-5-32-544", "S-1-5-18", true, aces});
  objects["C:\\Data\\Sub"] =
      withDescriptor({0x1004 | 0x0008, "S-1-5-21-1-2-3-1001", "", true, aces});
  fake::Object named = withDescriptor({0x0404, "S-1-5-18", "", true, aces});
  named.entriesInNameForm = true;
  objects["C:\\Data\\Sub\\Deep"] = named;
  objects["C:\\Data\\file.txt"] =
      withDescriptor({0x0004, "S-1-5-32-544", "", false, {}});
  fake::Object damaged = withDescriptor({0x0004, "", "", true, aces});
  damaged.descriptor.resize(damaged.descriptor.size() - 1);
  objects["C:\\Data\\Sub\\broken.txt"] = damaged;
  fake::Object failing = withDescriptor({0x0404, "", "", true, aces});
  failing.partsStatus = platform::kErrorAccessDenied;
  objects["C:\\Data\\Sub\\Deep\\locked"] = failing;
  fake::Object unnamed = withDescriptor({0x0004, "", "", true, aces});
  unnamed.explicitStatus = platform::kErrorNotEnoughMemory;
  objects["C:\\Data\\odd"] = unnamed;
  objects[kLongDirectory] = objects["C:\\Data\\Sub"];
}

// The program's name plays no part in a run, so its characters carry the
// fuzzer's choices of platform: "!" standard output fails, "~" standard
// error is a terminal (the progress line is drawn).
void scriptPlatform(const std::string& programName) {
  fake::Script& script = fake::script();
  script.objects = objects;
  script.directories["C:\\Data"] = {
      {"C:\\Data\\.", true, true},     {"C:\\Data\\..", true, true},
      {"C:\\Data\\Sub", true, false},  {"C:\\Data\\file.txt", false, false},
      {"C:\\Data\\odd", false, false}, {"C:\\Data\\gone", true, false},
  };
  script.directories["C:\\Data\\Sub"] = {
      {"C:\\Data\\Sub\\Deep", true, false},
      {"C:\\Data\\Sub\\broken.txt", false, false},
  };
  script.directories["C:\\Data\\Sub\\Deep"] = {
      {"C:\\Data\\Sub\\Deep\\locked", true, false},
      {kLongDirectory, true, false},
  };
  script.directories[kLongDirectory] = {{kLongDirectory + "\\x", false, false}};
  script.accounts["|S-1-5-32-544"] = "Administrators";
  script.accounts["|S-1-5-18"] = "SYSTEM";
  script.accounts["fs01|S-1-5-21-1-2-3-1001"] = "alice";
  script.remoteNames = {"\\\\fs01\\home", "\\\\fs02"};
  script.uncreatable.insert("C:\\nolog\\acl.log");
  script.stdoutFails = programName.find('!') != std::string::npos;
  script.errorIsTerminal = programName.find('~') != std::string::npos;
  script.millisPerCall = 40;
}

// One run of arguments from a fresh start; its exit code, checked with what
// every run must leave behind.
int runWhole(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  test::freshRun();
  scriptPlatform(arguments[0]);

  const int code =
      runCommandLine(static_cast<int>(arguments.size()), argv.data());
  require(code == 0 || code == 1 || code == 2 || code == 100);
  require(fake::record().liveBlocks == 0);
  require(fake::record().doubleFrees == 0);
  require(fake::record().openFinds == 0);
  require(fake::record().openEnums == fake::record().closedEnums);
  require(entryLines.empty());
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  buildObjects();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size && arguments.size() <= kMaxArguments; ++i) {
    if (data[i] == '\0')
      arguments.emplace_back();
    else
      arguments.back() += static_cast<char>(data[i]);
  }
  if (arguments.size() > kMaxArguments) arguments.pop_back();

  const int code = runWhole(arguments);
  // Paths and names are escaped: only the layout's own tabs and line ends.
  for (char c : fake::output()) {
    const unsigned char u = static_cast<unsigned char>(c);
    require(c == '\t' || c == '\n' || (u >= 32 && u != 127));
  }

  // The same run with every /tsv blanked out (the argument count stays, so
  // the dispatch on it does too) prints the blocks the flat lines stand for.
  bool flat = false;
  for (size_t i = 2; i < arguments.size(); ++i) {
    if (platform::equalsIgnoringCase(arguments[i].c_str(), "/tsv")) {
      arguments[i].clear();
      flat = true;
    }
  }
  if (!flat) return 0;
  const std::string lines = fake::output();
  const std::string label = appState.showOwner ? term(kGlobalFlags, 2) : "";
  require(runWhole(arguments) == code);
  std::string error;
  require(test::blocksFromFlat(lines, label, &error) == fake::output());
  require(error.empty());
  return 0;
}
