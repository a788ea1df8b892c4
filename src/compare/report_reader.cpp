#include "compare/report_reader.h"

#include <cstring>

#include "report/entry_format.h"

namespace vesk {
namespace {

size_t countTabs(const char* text, size_t size) {
  size_t tabs = 0;
  for (const char* at = text; (at = static_cast<const char*>(
                                   std::memchr(at, '\t', size - (at - text))));
       ++at)
    ++tabs;
  return tabs;
}

bool fail(ReportReader* reader, const std::string& what) {
  reader->error = "line " + std::to_string(reader->line) + ": " + what;
  return false;
}

// The header line of a block: path, flags and perhaps the owner column.
bool startBlock(ReportReader* reader, const char* text, size_t size) {
  const char* tab = static_cast<const char*>(std::memchr(text, '\t', size));
  if (tab == nullptr || tab == text)
    return fail(reader, "not the header line of a block");
  ReportObject& object = reader->current;
  object.path.assign(text, tab);
  const char* flags = tab + 1;
  const char* end = text + size;
  const char* ownerTab =
      static_cast<const char*>(std::memchr(flags, '\t', end - flags));
  object.flags.assign(flags, ownerTab ? ownerTab : end);
  object.owned = ownerTab != nullptr;
  object.owner.clear();
  if (ownerTab) {
    const char* owner = ownerTab + 1;
    if (std::memchr(owner, '\t', end - owner))
      return fail(reader, "a header line with more than three columns");
    const std::string& label = reader->ownerLabel;
    if (static_cast<size_t>(end - owner) >= label.size() &&
        std::memcmp(owner, label.data(), label.size()) == 0)
      owner += label.size();
    object.owner.assign(owner, end);
  }
  object.entries.clear();
  object.line = reader->line;
  reader->open = true;
  return true;
}

bool blockLine(ReportReader* reader, const char* text, size_t size,
               const ObjectSink& sink) {
  if (!reader->open) {
    if (size == 0) return fail(reader, "an empty line outside a block");
    return startBlock(reader, text, size);
  }
  if (size == 0) {
    if (reader->current.entries.empty())
      return fail(reader, "a block without entry lines");
    reader->open = false;
    sink(reader->current);
    return true;
  }
  if (text[0] != '\t')
    return fail(reader, "a header line before the block of line " +
                            std::to_string(reader->current.line) +
                            " ended with its empty line");
  const size_t tabs = countTabs(text, size);
  if (tabs != 3 && tabs != 4)
    return fail(reader, "an entry line without four or five columns");
  reader->current.entries.append(text, size);
  reader->current.entries += '\n';
  return true;
}

// One /tsv line: seven columns, the object's header in the first three.
bool flatLine(ReportReader* reader, const char* text, size_t size,
              const ObjectSink& sink) {
  const char* column[8];
  column[0] = text;
  const char* end = text + size;
  int count = 1;
  for (const char* at = text; count < 8; ++at) {
    at = static_cast<const char*>(std::memchr(at, '\t', end - at));
    if (at == nullptr) break;
    column[count++] = at + 1;
  }
  if (count != 7) return fail(reader, "a /tsv line without seven columns");
  column[7] = end + 1;
  auto field = [&column](int i) {
    return std::string(column[i], column[i + 1] - 1);
  };
  if (column[1] - 1 == text) return fail(reader, "a /tsv line without a path");
  ReportObject& object = reader->current;
  const size_t pathSize = column[1] - 1 - text;
  const bool same = reader->open && object.path.size() == pathSize &&
                    std::memcmp(object.path.data(), text, pathSize) == 0 &&
                    object.flags.compare(0, std::string::npos, column[1],
                                         column[2] - 1 - column[1]) == 0 &&
                    object.owner.compare(0, std::string::npos, column[2],
                                         column[3] - 1 - column[2]) == 0;
  if (!same) {
    if (reader->open) sink(object);
    object.path.assign(text, pathSize);
    object.flags = field(1);
    object.owner = field(2);
    object.owned = !object.owner.empty();
    object.entries.clear();
    object.line = reader->line;
    reader->open = true;
  }
  EntryColumns columns;
  columns.trustee = field(3);
  columns.mode = field(4);
  columns.permissions = field(5);
  columns.permissionsClosed = !columns.permissions.empty();
  columns.inheritance = field(6);
  object.entries += entryLine(columns);
  return true;
}

bool readLine(ReportReader* reader, const char* text, size_t size,
              const ObjectSink& sink) {
  ++reader->line;
  // A report redirected on Windows ends its lines with CRLF; a CR inside a
  // name is printed as \015, so a raw one is always a line end.
  if (size > 0 && text[size - 1] == '\r') --size;
  if (reader->form == ReportForm::Unknown) {
    const size_t tabs = countTabs(text, size);
    if (size > 0 && text[0] != '\t' && (tabs == 1 || tabs == 2))
      reader->form = ReportForm::Blocks;
    else if (size > 0 && text[0] != '\t' && tabs == 6)
      reader->form = ReportForm::Flat;
    else
      return fail(reader,
                  "neither a block's header nor a /tsv line: not a report");
  }
  if (reader->form == ReportForm::Blocks)
    return blockLine(reader, text, size, sink);
  if (size == 0) return fail(reader, "an empty line in a /tsv report");
  return flatLine(reader, text, size, sink);
}

}  // namespace

bool readReportBytes(ReportReader* reader, const char* data, size_t size,
                     const ObjectSink& sink) {
  if (!reader->error.empty()) return false;
  const char* end = data + size;
  while (data < end) {
    const char* newline =
        static_cast<const char*>(std::memchr(data, '\n', end - data));
    if (newline == nullptr) {
      reader->pending.append(data, end);
      break;
    }
    bool good;
    if (reader->pending.empty()) {
      good = readLine(reader, data, newline - data, sink);
    } else {
      reader->pending.append(data, newline);
      good = readLine(reader, reader->pending.data(), reader->pending.size(),
                      sink);
      reader->pending.clear();
    }
    if (!good) return false;
    data = newline + 1;
  }
  return true;
}

bool endReport(ReportReader* reader, const ObjectSink& sink) {
  if (!reader->error.empty()) return false;
  if (!reader->pending.empty()) {
    ++reader->line;
    return fail(reader,
                "the last line has no line end: the report is cut short");
  }
  if (reader->open && reader->form == ReportForm::Blocks) {
    ++reader->line;
    return fail(reader, "the block of line " +
                            std::to_string(reader->current.line) +
                            " has no empty line at its end: the report is "
                            "cut short");
  }
  if (reader->open) sink(reader->current);
  reader->open = false;
  return true;
}

bool readReport(const std::string& bytes, ReportReader* reader,
                const ObjectSink& sink) {
  return readReportBytes(reader, bytes.data(), bytes.size(), sink) &&
         endReport(reader, sink);
}

bool entryLineColumns(const std::string& line, std::string columns[4]) {
  if (line.empty() || line[0] != '\t') return false;
  size_t at = 1;
  int count = 0;
  std::string parts[4];
  while (count < 4) {
    const size_t tab = line.find('\t', at);
    parts[count++] = line.substr(at, tab == std::string::npos ? tab : tab - at);
    if (tab == std::string::npos) break;
    at = tab + 1;
    if (count == 4) return false;
  }
  if (count == 3) {  // a mask without terms leaves out its column's tab
    parts[3] = parts[2];
    parts[2].clear();
  } else if (count != 4) {
    return false;
  }
  for (int i = 0; i < 4; ++i) columns[i] = parts[i];
  return true;
}

}  // namespace vesk
