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
  if (control & platform::kSeDaclAutoInherited) flags = term(kGlobalFlags, 0);
  if (control & platform::kSeDaclProtected) flags = term(kGlobalFlags, 1);
  if (control & platform::kSeDaclDefaulted) flags += " SE_DACL_DEFAULTED";
  if (control & platform::kSeGroupDefaulted) flags += " SE_GROUP_DEFAULTED";
  if (control & platform::kSeOwnerDefaulted) flags += " SE_OWNER_DEFAULTED";
  return flags;
}

// The name a trustee is printed by: a name-form record carries its own.
std::string trusteeName(const Trustee& trustee) {
  if (trustee.form == platform::TrusteeForm::Name)
    return printable(trustee.name ? trustee.name : "");
  return printable(accountName(trustee.sid));
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

}  // namespace

int reportObject(const std::string& path) {
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
      platform::getNamedSecurityInfo(path.c_str(), &blocks.descriptor);
  if (status != 0) {
    blocks.descriptor = nullptr;
    logLine("GetNamedSecurityInfo () failed for: " + shown);
    logLine("GetNamedSecurityInfo () error: " +
            std::to_string(static_cast<int>(status)));
    return kReportNoDescriptor;
  }

  bool present = false;
  bool defaulted = false;
  const platform::Acl* dacl = nullptr;
  if (!platform::getSecurityDescriptorDacl(blocks.descriptor, &present, &dacl,
                                           &defaulted)) {
    logLine("GetSecurityDescriptorDacl () failed for: " + shown);
    return kReportNoDacl;
  }
  logLine("GetSecurityDescriptorDacl () successfully for: " + shown);
  if (present) logLine("pDACL present");
  if (defaulted) logLine("pDACL default");

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
      logLine("LookupSecurityDescriptorParts () failed: " + hex8(parts));
      return kReportNoInheritedEntries;
    }
    logLine("LookupSecurityDescriptorParts () read " +
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
      logLine("GetExplicitEntriesFromAcl () failed: " + hex8(explicitStatus));
      return kReportNoEntries;
    }
    logLine("GetExplicitEntriesFromAcl () read " +
            std::to_string(static_cast<int>(count)) + " Entries from DACL");
    if (appState.showOwner) {
      owned = true;
      ownerName = printable(accountName(owner));
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
    const std::string name = trusteeName(entry.trustee);
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
    std::string header = shown + "\t" + flags;
    if (owned)
      header += "\t" + std::string(term(kGlobalFlags, 2)) + " " + ownerName;
    header += '\n';
    print(header);
    sortEntryLines();
    for (const std::string& line : entryLines) print(line);
    print("\n");
  }
  entryLines.clear();
  return kReportDone;
}

void sortEntryLines() {
  std::stable_sort(entryLines.begin(), entryLines.end(), lineBefore);
}

bool outputFailed() { return std::ferror(platform::standardOutput()) != 0; }

}  // namespace vesk
