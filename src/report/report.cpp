#include "report/report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/state.h"
#include "core/text.h"
#include "log/log.h"
#include "platform/ascii.h"
#include "platform/platform.h"
#include "report/account.h"
#include "report/entry_format.h"
#include "terms/terms.h"

namespace vesk {

namespace {

using platform::ExplicitAccess;
using platform::SecurityDescriptor;
using platform::Trustee;

constexpr uint32_t kInheritedAce = 0x10;  // INHERITED_ACE of an entry

void print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), platform::standardOutput());
}

std::string flagsText(uint16_t control) {
  std::string flags;
  if (control & platform::kSeDaclAutoInherited)
    flags = printedTerm(kGlobalFlags, 0);
  if (control & platform::kSeDaclProtected)
    flags = printedTerm(kGlobalFlags, 1);
  if (control & platform::kSeDaclDefaulted) flags += " SE_DACL_DEFAULTED";
  if (control & platform::kSeGroupDefaulted) flags += " SE_GROUP_DEFAULTED";
  if (control & platform::kSeOwnerDefaulted) flags += " SE_OWNER_DEFAULTED";
  return flags;
}

// The reports remembered per run stop growing here, and a DACL longer than
// this is made afresh each time: naming its entries dominates either way,
// and memory stays flat.
constexpr size_t kRememberedReportBytes = 1 << 20;
constexpr size_t kRememberedEntries = 64;

// Records what the report of one descriptor logs and prints, so that the
// next object with the same bytes can be given the same without decoding
// and naming them again.
struct Recorder {
  DescriptorReport made{};
  bool keep;  // false: what was logged depends on more than the bytes

  void log(const std::string& line) {
    logLine(line);
    if (keep) made.logLines.push_back(line);
  }
  // accountName logs an identifier that is not valid each time it is asked.
  std::string name(const platform::Sid* sid) {
    if (!platform::isValidSid(sid)) keep = false;
    return accountName(sid);
  }
};

// The name a trustee is printed by: a name-form record carries its own.
std::string trusteeName(const Trustee& trustee, Recorder* recorder) {
  if (trustee.form == platform::TrusteeForm::Name)
    return printable(trustee.name ? trustee.name : "");
  return printable(recorder->name(trustee.sid));
}

void printBlock(const std::string& header,
                const std::vector<std::string>& lines) {
  print(header);
  for (const std::string& line : lines) print(line);
  print("\n");
}

// The report of an object whose descriptor bytes were reported before.
int replay(const DescriptorReport& known, const std::string& shown) {
  logLine(known.pathLine + shown);
  for (const std::string& line : known.logLines) logLine(line);
  if (!known.entryLines.empty())
    printBlock(shown + "\t" + known.headerTail, known.entryLines);
  return known.result;
}

void remember(std::string key, Recorder* recorder, int result) {
  DescriptorReport& made = recorder->made;
  if (!recorder->keep || key.empty() ||
      made.entryLines.size() > kRememberedEntries)
    return;
  made.result = result;
  size_t size = key.size() + made.pathLine.size() + made.headerTail.size();
  for (const std::string& line : made.logLines) size += line.size() + 32;
  for (const std::string& line : made.entryLines) size += line.size() + 32;
  if (descriptorReports.bytes + size > kRememberedReportBytes) return;
  descriptorReports.bytes += size;
  descriptorReports.byBytes.emplace(std::move(key), std::move(made));
}

// Whether /who: asks for this trustee, printed as name: by that name or by
// the identifier's string form, ignoring letter case. A trustee in name
// form has no identifier at hand and is known by its name only.
bool wantedTrustee(const Trustee& trustee, const std::string& name) {
  if (viewState.who.empty()) return true;
  std::string sid;
  if (trustee.form == platform::TrusteeForm::Sid && trustee.sid)
    sid = platform::sidString(trustee.sid);
  for (const std::string& wanted : viewState.who) {
    if (platform::mbsicmp(name.c_str(), wanted.c_str()) == 0) return true;
    if (!sid.empty() &&
        platform::equalsIgnoringCase(sid.c_str(), wanted.c_str()))
      return true;
  }
  return false;
}

// The order of lines in a block.
bool lineBefore(const std::string& a, const std::string& b) {
  return platform::mbsicmp(a.c_str(), b.c_str()) < 0;
}

// Prints the flat lines in the order that sorting entryLines, their block
// lines one for one, gives.
void printFlat(const std::vector<std::string>& flat) {
  std::vector<size_t> order(entryLines.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [](size_t a, size_t b) {
    return lineBefore(entryLines[a], entryLines[b]);
  });
  for (size_t i : order) print(flat[i]);
}

// Every block the platform handed out for one object, released once when
// the report of that object ends, whichever way it ends.
struct Blocks {
  SecurityDescriptor* descriptor = nullptr;
  ExplicitAccess* entries = nullptr;
  Trustee* owner = nullptr;
  Trustee* group = nullptr;
  ~Blocks() {
    platform::localFree(group);
    platform::localFree(owner);
    platform::localFree(entries);
    platform::localFree(descriptor);
  }
  void releaseTrustees() {
    platform::localFree(group);
    platform::localFree(owner);
    group = owner = nullptr;
  }
};

int describe(Blocks& blocks, const std::string& shown, Recorder* recorder);

}  // namespace

int reportObject(const std::string& path, bool linkItself) {
  if (logOpen()) stampTime();  // the stamps serve the log only
  logBlankLine();
  // Printed and logged paths keep one line each, whatever bytes they hold.
  bool lossy = false;
  const std::string shown = printable(path, &lossy);
  if (lossy)
    logLine("Name printed with ? for characters outside the code page: " +
            utf16Escaped(path));

  Blocks blocks;
  const uint32_t status =
      linkItself
          ? platform::getLinkSecurityInfo(path.c_str(), &blocks.descriptor)
          : platform::getNamedSecurityInfo(path.c_str(), &blocks.descriptor);
  if (status != 0) {
    blocks.descriptor = nullptr;
    logLine("GetNamedSecurityInfo () failed for: " + shown);
    logLine("GetNamedSecurityInfo () error: " +
            std::to_string(static_cast<int>(status)));
    return kReportNoDescriptor;
  }
  // Now that a descriptor was read, an image that the path leads into is
  // open, and its registry can name its accounts.
  readEvidenceNames();

  // Equal bytes give equal answers, so a descriptor's block, its log lines
  // and the names in it are made once per run. Not with /v and a log: the
  // failed lookups it logs depend on more than the bytes; nor for the flat
  // view, whose every line holds the path.
  Recorder recorder;
  recorder.keep = !(appState.verbose && logOpen()) && !viewState.flat;
  std::string key;
  if (recorder.keep) {
    key = platform::securityDescriptorKey(blocks.descriptor);
    const auto known = descriptorReports.byBytes.find(key);
    if (!key.empty() && known != descriptorReports.byBytes.end())
      return replay(known->second, shown);
  }
  const int result = describe(blocks, shown, &recorder);
  remember(std::move(key), &recorder, result);
  return result;
}

namespace {

int describe(Blocks& blocks, const std::string& shown, Recorder* recorder) {
  DescriptorReport& made = recorder->made;
  bool present = false;
  bool defaulted = false;
  const platform::Acl* dacl = nullptr;
  if (!platform::getSecurityDescriptorDacl(blocks.descriptor, &present, &dacl,
                                           &defaulted)) {
    made.pathLine = "GetSecurityDescriptorDacl () failed for: ";
    logLine(made.pathLine + shown);
    return kReportNoDacl;
  }
  made.pathLine = "GetSecurityDescriptorDacl () successfully for: ";
  logLine(made.pathLine + shown);
  if (present) recorder->log("pDACL present");
  if (defaulted) recorder->log("pDACL default");

  const platform::Sid* owner = nullptr;
  bool ownerDefaulted = false;
  platform::getSecurityDescriptorOwner(blocks.descriptor, &owner,
                                       &ownerDefaulted);
  uint16_t control = 0;
  uint32_t revision = 0;
  platform::getSecurityDescriptorControl(blocks.descriptor, &control,
                                         &revision);

  const std::string flags = flagsText(control);

  uint32_t count = 0;
  bool owned = false;  // the header shows an owner
  std::string ownerName;
  if (control & platform::kSeDaclAutoInherited) {
    const uint32_t parts = platform::lookupSecurityDescriptorParts(
        &blocks.owner, &blocks.group, &count, &blocks.entries,
        blocks.descriptor);
    if (parts != 0) {
      recorder->log("LookupSecurityDescriptorParts () failed: " + hex8(parts));
      return kReportNoInheritedEntries;
    }
    recorder->log("LookupSecurityDescriptorParts () read " +
                  std::to_string(static_cast<int>(count)) + " Entries");
    if (blocks.owner && appState.showOwner &&
        blocks.owner->form == platform::TrusteeForm::Name) {
      owned = true;
      ownerName = printable(blocks.owner->name ? blocks.owner->name : "");
    }
    blocks.releaseTrustees();
  } else {
    const uint32_t explicitStatus =
        platform::getExplicitEntriesFromAcl(dacl, &count, &blocks.entries);
    if (explicitStatus != 0) {
      recorder->log("GetExplicitEntriesFromAcl () failed: " +
                    hex8(explicitStatus));
      return kReportNoEntries;
    }
    recorder->log("GetExplicitEntriesFromAcl () read " +
                  std::to_string(static_cast<int>(count)) +
                  " Entries from DACL");
    if (appState.showOwner) {
      owned = true;
      ownerName = printable(recorder->name(owner));
    }
  }

  if (count == 0 || !blocks.entries) return kReportDone;

  // With /explicit only a DACL of its own is printed: protected, or with an
  // entry set on the object itself.
  bool ownDacl =
      !viewState.explicitOnly || (control & platform::kSeDaclProtected);
  const std::string flatStart =
      viewState.flat ? shown + "\t" + flags + "\t" + ownerName + "\t"
                     : std::string();
  std::vector<std::string> flat;
  for (uint32_t i = 0; i < count; ++i) {
    const ExplicitAccess& entry = blocks.entries[i];
    if (!(entry.inheritance & kInheritedAce)) ownDacl = true;
    // Every trustee is named, shown or not, so the log is that of the
    // whole report.
    const std::string name = trusteeName(entry.trustee, recorder);
    if (!wantedTrustee(entry.trustee, name)) continue;
    if (!viewState.flat) {
      entryLines.push_back(formatEntry(entry, name));
      continue;
    }
    const EntryColumns columns = entryColumns(entry, name);
    entryLines.push_back(entryLine(columns));
    flat.push_back(flatStart + columns.trustee + "\t" + columns.mode + "\t" +
                   columns.permissions + "\t" + columns.inheritance + "\n");
  }
  if (!ownDacl || entryLines.empty()) {
    entryLines.clear();
    return kReportDone;
  }

  if (viewState.flat) {
    printFlat(flat);
  } else {
    std::string tail = flags;
    if (owned) tail += "\t" + printedTerm(kGlobalFlags, 2) + " " + ownerName;
    tail += '\n';
    sortEntryLines();
    printBlock(shown + "\t" + tail, entryLines);
    if (recorder->keep) {
      made.headerTail = std::move(tail);
      made.entryLines = entryLines;
    }
  }
  entryLines.clear();
  return kReportDone;
}

}  // namespace

void sortEntryLines() {
  std::stable_sort(entryLines.begin(), entryLines.end(), lineBefore);
}

bool outputFailed() { return std::ferror(platform::standardOutput()) != 0; }

}  // namespace vesk
