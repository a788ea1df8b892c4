// Any bytes as a report for vesk-diff: whole or in two pieces, the reader
// must hand out the same objects, each a path of one line with entry lines
// of a block; and a report compared with itself is the same, or the same
// trouble, never a list of changes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "compare/compare.h"
#include "compare/report_reader.h"

namespace {

using namespace vesk;

FILE* nullStream;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

bool readInPieces(const std::string& bytes, size_t cut,
                  std::vector<std::string>* objects) {
  ReportReader reader;
  const ObjectSink sink = [objects](const ReportObject& object) {
    require(!object.path.empty() &&
            object.path.find_first_of("\t\n") == std::string::npos);
    require(!object.entries.empty() && object.entries[0] == '\t' &&
            object.entries.back() == '\n');
    std::string columns[4];
    require(entryLineColumns(
        object.entries.substr(0, object.entries.find('\n')), columns));
    objects->push_back(object.path + "\n" + object.flags + "\n" + object.owner +
                       "\n" + object.entries);
  };
  return readReportBytes(&reader, bytes.data(), cut, sink) &&
         readReportBytes(&reader, bytes.data() + cut, bytes.size() - cut,
                         sink) &&
         endReport(&reader, sink);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nullStream = std::fopen("/dev/null", "w");
  return nullStream == nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> whole, pieces;
  const bool good = readInPieces(bytes, bytes.size(), &whole);
  const size_t cut = size == 0 ? 0 : data[size / 2] % (size + 1);
  require(good == readInPieces(bytes, cut, &pieces));
  if (good) require(whole == pieces);

  // Streams over the input itself: no file is written per run.
  if (size == 0) return 0;
  void* bytesRead = const_cast<uint8_t*>(data);
  FILE* older = fmemopen(bytesRead, size, "r");
  FILE* newer = fmemopen(bytesRead, size, "r");
  if (older == nullptr || newer == nullptr) {
    if (older != nullptr) std::fclose(older);
    if (newer != nullptr) std::fclose(newer);
    return 0;
  }
  DiffSummary summary;
  const int result = compareReports({older, "OLD"}, {newer, "NEW"}, false,
                                    nullStream, nullStream, &summary);
  std::fclose(older);
  std::fclose(newer);
  require(result == 0 || result == 2);
  require(good || result == 2);
  return 0;
}
