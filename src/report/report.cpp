#include "report/report.h"

#include <algorithm>
#include <cstdio>

#include "core/state.h"
#include "core/text.h"
#include "log/log.h"
#include "platform/platform.h"
#include "report/account.h"
#include "report/entry_format.h"
#include "terms/terms.h"

namespace vesk {

namespace {

using platform::ExplicitAccess;
using platform::SecurityDescriptor;
using platform::Trustee;

void print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), platform::standardOutput());
}

std::string ownerText(const std::string& name) {
  return std::string("\t") + term(kGlobalFlags, 2) + " " + printable(name);
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

  std::string header = shown + "\t" + flagsText(control);

  uint32_t count = 0;
  std::string owned;
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
        blocks.owner->form == platform::TrusteeForm::Name)
      owned = ownerText(blocks.owner->name ? blocks.owner->name : "");
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
    if (appState.showOwner) owned = ownerText(accountName(owner));
  }
  header += owned;

  if (count == 0 || !blocks.entries) return kReportDone;

  for (uint32_t i = 0; i < count; ++i) {
    const ExplicitAccess& entry = blocks.entries[i];
    entryLines.push_back(formatEntry(entry, trusteeName(entry.trustee)));
  }

  header += '\n';
  print(header);
  sortEntryLines();
  for (const std::string& line : entryLines) print(line);
  print("\n");
  entryLines.clear();
  return kReportDone;
}

void sortEntryLines() {
  std::stable_sort(entryLines.begin(), entryLines.end(),
                   [](const std::string& a, const std::string& b) {
                     return platform::mbsicmp(a.c_str(), b.c_str()) < 0;
                   });
}

bool outputFailed() { return std::ferror(platform::standardOutput()) != 0; }

}  // namespace vesk
