// A report that vesk wrote, read back object by object: blocks or /tsv
// lines, LF or CRLF, from bytes, so that any source (a file, a pipe, a test's
// text) feeds the same reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vesk {

/// How a report was printed; known from its first line.
enum class ReportForm { Unknown, Blocks, Flat };

/// One object of a report, as printed (escapes kept).
struct ReportObject {
  std::string path;
  std::string flags;    // the inheritance text of the header
  std::string owner;    // the owner's name, without its label
  bool owned = false;   // the report names an owner for this object
  std::string entries;  // its entry lines as a block prints them, "\n" each
  uint64_t line = 0;    // where the object begins in the report
};

/// The reader's state between pieces of a report.
struct ReportReader {
  std::string ownerLabel = "Owner: ";  // before the owner's name in a block
  ReportForm form = ReportForm::Unknown;
  uint64_t line = 0;    // lines begun so far
  std::string pending;  // the start of a line not yet ended
  bool open = false;    // an object is being read
  ReportObject current;
  std::string error;  // the first fault, with its line; then nothing more
};

/// Receives each object once it is complete.
using ObjectSink = std::function<void(const ReportObject&)>;

/// Reads the next size bytes of a report, handing out the objects they
/// complete; false (and reader->error) on a line that no report holds.
bool readReportBytes(ReportReader* reader, const char* data, size_t size,
                     const ObjectSink& sink);

/// The end of the report: hands out its last object; false when the report
/// was cut short (a last line without its newline, a block without its
/// empty line).
bool endReport(ReportReader* reader, const ObjectSink& sink);

/// A whole report in one piece: readReportBytes, then endReport.
bool readReport(const std::string& bytes, ReportReader* reader,
                const ObjectSink& sink);

/// The columns of a block's entry line (without its "\n"): trustee, mode,
/// permissions, inheritance; false when the line is not one.
bool entryLineColumns(const std::string& line, std::string columns[4]);

}  // namespace vesk
