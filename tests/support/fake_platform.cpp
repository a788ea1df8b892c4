#include "support/fake_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>

#include "platform/ascii.h"
#include "sd/descriptor.h"

namespace vesk {
namespace platform {

// A descriptor knows the path it was read from: the script of that path
// decides which of the later calls on it fail.
struct SecurityDescriptor {
  std::string path;
  std::vector<uint8_t> bytes;
  DescriptorView view;
  uint16_t control;  // as getSecurityDescriptorControl reports it
};

struct NetEnum {
  size_t next = 0;
};

struct FindHandle {
  std::vector<FindEntry> entries;
  size_t next = 0;
  uint32_t end = kErrorNoMoreFiles;  // what findNext fails with at the end
};

}  // namespace platform

namespace fake {
namespace {

using namespace platform;

struct State {
  Script script;
  Record record;
  FILE* out = nullptr;
  FILE* err = nullptr;
  FILE* failing = nullptr;  // kept open; its error flag cleared on reset
  std::map<std::string, FILE*> logs;
  std::set<const void*> live;
  // Each DACL handed out (a NULL DACL too) and the live descriptor it lies
  // in; the latest descriptor wins a NULL DACL.
  std::map<const Acl*, const SecurityDescriptor*> dacls;
  std::map<const void*, std::vector<std::string>> names;  // of name-form blocks
  uint32_t lastError = 0;
};

State& state() {
  static State s;
  return s;
}

void handOut(const void* block) {
  if (!block) return;
  state().live.insert(block);
  ++state().record.liveBlocks;
}

// true when the block was live and is now released.
bool takeBack(const void* block) {
  if (!block) return false;
  if (!state().live.erase(block)) {
    ++state().record.doubleFrees;
    return false;
  }
  --state().record.liveBlocks;
  ++state().record.releasedBlocks;
  return true;
}

std::string readAll(FILE* stream) {
  if (!stream) return "";
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
    text.append(buffer, n);
  std::fseek(stream, 0, SEEK_END);
  return text;
}

// The script of the path a descriptor was read from.
const Object& scripted(const SecurityDescriptor* sd) {
  static const Object unscripted;
  auto found = state().script.objects.find(sd->path);
  return found == state().script.objects.end() ? unscripted : found->second;
}

// One second on, through midnight into the next day, month and year.
void tick(LocalTime* now) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int h = 0, m = 0, sec = 0;
  std::sscanf(now->time, "%d:%d:%d", &h, &m, &sec);
  if (++sec == 60) {
    sec = 0;
    ++m;
  }
  if (m == 60) {
    m = 0;
    ++h;
  }
  if (h == 24) {
    h = 0;
    const int y = now->year;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int month = (now->month + 11) % 12;  // 0 for January
    if (++now->day > kDays[month] + (month == 1 && leap)) {
      now->day = 1;
      if (++now->month > 12) {
        now->month = 1;
        ++now->year;
      }
    }
  }
  // Each part is below 60 here; the modulo lets the compiler see that the
  // text fits.
  std::snprintf(now->time, sizeof now->time, "%02u:%02u:%02u",
                static_cast<unsigned>(h) % 100u,
                static_cast<unsigned>(m) % 100u,
                static_cast<unsigned>(sec) % 100u);
}

const uint8_t* bytesOf(const Sid* sid) {
  return reinterpret_cast<const uint8_t*>(sid);
}

std::string localName(const uint8_t* sid) {
  const std::string text = sidText(sid);
  auto found = state().script.accounts.find("|" + text);
  return found == state().script.accounts.end() ? text : found->second;
}

}  // namespace

void reset() {
  State& s = state();
  if (s.out) std::fclose(s.out);
  if (s.err) std::fclose(s.err);
  for (auto& log : s.logs) std::fclose(log.second);
  s.logs.clear();
  s.script = Script();
  s.record = Record();
  s.live.clear();
  s.dacls.clear();
  s.names.clear();
  s.lastError = 0;
  if (s.failing) std::clearerr(s.failing);
  s.out = std::tmpfile();
  s.err = std::tmpfile();
}

Script& script() { return state().script; }
Record& record() { return state().record; }

std::string output() {
  if (state().script.stdoutFails) return "";
  return readAll(state().out);
}

std::string errors() { return readAll(state().err); }

std::string file(const std::string& path) {
  auto found = state().logs.find(path);
  return found == state().logs.end() ? "" : readAll(found->second);
}

}  // namespace fake

namespace platform {

using fake::state;

uint32_t getNamedSecurityInfo(const char* path, SecurityDescriptor** sd) {
  state().record.reads.push_back(path);
  auto found = state().script.objects.find(path);
  if (found == state().script.objects.end()) return kErrorFileNotFound;
  const fake::Object& object = found->second;
  if (object.status) return object.status;
  auto* block = new SecurityDescriptor{path, object.descriptor, {}, 0};
  const uint32_t status =
      parseDescriptor(block->bytes.data(), block->bytes.size(), &block->view);
  if (status) {
    delete block;
    return status;
  }
  block->control = reportedControl(block->view.control);
  *sd = block;
  fake::handOut(block);
  return 0;
}

uint32_t getLinkSecurityInfo(const char* path, SecurityDescriptor** sd) {
  state().record.linksRead.push_back(path);
  return getNamedSecurityInfo(path, sd);
}

bool getSecurityDescriptorDacl(const SecurityDescriptor* sd, bool* present,
                               const Acl** dacl, bool* defaulted) {
  if (fake::scripted(sd).daclFails) return false;
  *present = sd->view.daclPresent;
  *dacl = reinterpret_cast<const Acl*>(sd->view.dacl);
  *defaulted = sd->view.daclPresent && (sd->control & kSeDaclDefaulted);
  state().dacls[*dacl] = sd;
  return true;
}

bool getSecurityDescriptorOwner(const SecurityDescriptor* sd, const Sid** owner,
                                bool* defaulted) {
  *owner = reinterpret_cast<const Sid*>(sd->view.owner);
  *defaulted = sd->control & kSeOwnerDefaulted;
  return true;
}

// Scripted failures belong to paths, not bytes: only where a test says
// that equal bytes answer alike does a descriptor get a key.
std::string securityDescriptorKey(const SecurityDescriptor* sd) {
  if (!state().script.keyedDescriptors) return "";
  return std::string(sd->bytes.begin(), sd->bytes.end());
}

bool getSecurityDescriptorControl(const SecurityDescriptor* sd,
                                  uint16_t* control, uint32_t* revision) {
  *control = sd->control;
  *revision = 1;
  return true;
}

uint32_t getExplicitEntriesFromAcl(const Acl* acl, uint32_t* count,
                                   ExplicitAccess** entries) {
  // A scripted failure belongs to the path whose DACL this is. An ACL that
  // no live descriptor handed out is not read: its bytes may be gone.
  auto from = state().dacls.find(acl);
  if (from == state().dacls.end()) {
    if (acl) {
      ++state().record.strayAcls;
      return kErrorInvalidParameter;
    }
  } else if (const uint32_t failure =
                 fake::scripted(from->second).explicitStatus) {
    return failure;
  }
  *count = 0;
  *entries = nullptr;
  const uint32_t status = buildExplicitEntries(
      reinterpret_cast<const uint8_t*>(acl), count, entries);
  fake::handOut(*entries);
  return status;
}

uint32_t lookupSecurityDescriptorParts(Trustee** owner, Trustee** group,
                                       uint32_t* count,
                                       ExplicitAccess** entries,
                                       const SecurityDescriptor* sd) {
  const fake::Object& object = fake::scripted(sd);
  if (object.partsStatus) return object.partsStatus;
  *count = 0;
  *entries = nullptr;
  uint32_t status = buildExplicitEntries(sd->view.dacl, count, entries);
  if (status) return status;
  fake::handOut(*entries);
  if (object.entriesInNameForm && *entries) {
    std::vector<std::string>& names = state().names[*entries];
    names.reserve(*count);
    for (uint32_t i = 0; i < *count; ++i)
      names.push_back(
          fake::localName(fake::bytesOf((*entries)[i].trustee.sid)));
    for (uint32_t i = 0; i < *count; ++i)
      (*entries)[i].trustee = {TrusteeForm::Name, nullptr, names[i].c_str()};
  }
  auto makeTrustee = [&](const uint8_t* sid) -> Trustee* {
    if (!sid) return nullptr;
    Trustee* trustee;
    if (object.ownerInNameForm) {
      trustee = makeNameTrustee(fake::localName(sid));
    } else {
      trustee = static_cast<Trustee*>(std::malloc(sizeof(Trustee)));
      *trustee = {TrusteeForm::Sid, reinterpret_cast<const Sid*>(sid), nullptr};
    }
    fake::handOut(trustee);
    return trustee;
  };
  *owner = makeTrustee(sd->view.owner);
  *group = makeTrustee(sd->view.group);
  return 0;
}

void localFree(SecurityDescriptor* sd) {
  if (!fake::takeBack(sd)) return;
  auto& dacls = state().dacls;
  for (auto it = dacls.begin(); it != dacls.end();)
    it = it->second == sd ? dacls.erase(it) : std::next(it);
  delete sd;
}

void localFree(ExplicitAccess* entries) {
  if (fake::takeBack(entries)) {
    state().names.erase(entries);
    std::free(entries);
  }
}

void localFree(Trustee* trustee) {
  if (fake::takeBack(trustee)) std::free(trustee);
}

bool isValidSid(const Sid* sid) {
  if (isValidSidBytes(fake::bytesOf(sid))) return true;
  state().lastError = kErrorInvalidSid;
  return false;
}

bool lookupAccountSid(const char* systemName, const Sid* sid, char* name,
                      uint32_t nameCapacity, char* domain,
                      uint32_t domainCapacity) {
  const std::string key =
      std::string(systemName) + "|" + sidText(fake::bytesOf(sid));
  state().record.lookups.push_back(key);
  auto found = state().script.accounts.find(key);
  if (found == state().script.accounts.end()) {
    state().lastError = state().script.lookupError;
    return false;
  }
  if (found->second.size() >= nameCapacity || domainCapacity < 1) {
    state().lastError = kErrorInsufficientBuffer;
    return false;
  }
  std::memcpy(name, found->second.c_str(), found->second.size() + 1);
  domain[0] = '\0';
  return true;
}

uint32_t getLengthSid(const Sid* sid) {
  return static_cast<uint32_t>(sidLength(fake::bytesOf(sid)));
}

std::string sidString(const Sid* sid) {
  return isValidSid(sid) ? sidText(fake::bytesOf(sid)) : "";
}

uint32_t getLastError() { return state().lastError; }

uint32_t wnetOpenEnum(NetEnum** handle) {
  if (state().script.openEnumStatus) return state().script.openEnumStatus;
  *handle = new NetEnum;
  ++state().record.openEnums;
  return 0;
}

uint32_t wnetEnumResource(NetEnum* handle, std::string* remoteName) {
  const std::vector<std::string>& names = state().script.remoteNames;
  if (handle->next >= names.size()) return kErrorNoMoreItems;
  *remoteName = names[handle->next++];
  return 0;
}

void wnetCloseEnum(NetEnum* handle) {
  ++state().record.closedEnums;
  delete handle;
}

FindHandle* findFirst(const std::string& dir, FindEntry* entry) {
  state().record.searched.push_back(dir);
  auto failed = state().script.listErrors.find(dir);
  if (failed != state().script.listErrors.end()) {
    state().lastError = failed->second;
    return nullptr;
  }
  auto found = state().script.directories.find(dir);
  if (found == state().script.directories.end() || found->second.empty()) {
    state().lastError = kErrorNoMoreFiles;
    return nullptr;
  }
  auto cut = state().script.listCutShort.find(dir);
  auto* handle = new FindHandle{found->second, 1,
                                cut == state().script.listCutShort.end()
                                    ? kErrorNoMoreFiles
                                    : cut->second};
  *entry = handle->entries[0];
  fake::Record& record = state().record;
  ++record.openFinds;
  record.mostOpenFinds = std::max(record.mostOpenFinds, record.openFinds);
  return handle;
}

bool findNext(FindHandle* handle, FindEntry* entry) {
  if (handle->next >= handle->entries.size()) {
    state().lastError = handle->end;
    return false;
  }
  *entry = handle->entries[handle->next++];
  return true;
}

void findClose(FindHandle* handle) {
  --state().record.openFinds;
  delete handle;
}

bool directoryIdentity(const std::string& dir, DirectoryIdentity* identity) {
  auto found = state().script.identities.find(dir);
  if (found == state().script.identities.end()) return false;
  *identity = found->second;
  return true;
}

void messageBox(const char* text, const char* caption, AlertIcon icon) {
  state().record.alerts.push_back(std::string(caption) + "|" + text + "|" +
                                  (icon == AlertIcon::Error ? "E" : "I"));
}

std::string moduleFileName() { return state().script.executable; }

LocalTime localClock() {
  ++state().record.clockReadings;
  LocalTime& clock = state().script.clock;
  const LocalTime now = clock;
  for (int i = 0; i < state().script.secondsPerReading; ++i) fake::tick(&clock);
  return now;
}

int mbsicmp(const char* a, const char* b) { return compareIgnoringCase(a, b); }

FILE* standardOutput() {
  if (state().script.stdoutFails) {
    // The null device opened for reading: every write fails, on any system.
    FILE*& failing = state().failing;
    if (!failing) failing = std::fopen("/dev/null", "r");
    if (!failing) failing = std::fopen("NUL", "r");
    return failing;
  }
  return state().out;
}

FILE* standardError() { return state().err; }

FILE* createLogFile(const char* path) {
  if (!*path || state().script.uncreatable.count(path)) return nullptr;
  auto found = state().logs.find(path);
  if (found != state().logs.end()) std::fclose(found->second);
  FILE* log = std::tmpfile();
  state().logs[path] = log;
  return log;
}

// Kept open: the test reads what the run wrote.
bool closeLogFile(FILE* log) {
  return std::fflush(log) == 0 && !std::ferror(log);
}

FILE* openTermsFile(const char* path) {
  auto found = state().script.files.find(path);
  if (found == state().script.files.end()) return nullptr;
  FILE* stream = std::tmpfile();
  std::fwrite(found->second.data(), 1, found->second.size(), stream);
  std::rewind(stream);
  return stream;
}

FILE* openBinaryFile(const char* path) { return openTermsFile(path); }

FILE* standardInputBinary() { return nullptr; }

bool backslashIsSeparator() { return state().script.backslashIsSeparator; }

bool isTerminal(FILE* stream) {
  if (stream == standardOutput()) return state().script.outputIsTerminal;
  if (stream == standardError()) return state().script.errorIsTerminal;
  return false;
}

uint64_t monotonicMillis() {
  const uint64_t now = state().script.millis;
  state().script.millis += state().script.millisPerCall;
  return now;
}

void examineStartPath(const std::string& path) {
  state().record.startPaths.push_back(path);
}

std::vector<HiveFailure> readEvidenceNames(const std::string& namesPath) {
  fake::Record& record = state().record;
  record.namesRead.push_back(namesPath + "|" +
                             std::to_string(record.reads.size()));
  return state().script.hiveFailures;
}

void startProcess() {}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string outputText(const std::string& text, bool* lossy) {
  if (lossy != nullptr) *lossy = false;
  if (!state().script.asciiCodePage) return text;
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
    } else if ((u & 0xC0) != 0x80) {  // the lead byte of a character
      out += '?';
      if (lossy != nullptr) *lossy = true;
    }
  }
  return out;
}

}  // namespace platform
}  // namespace vesk
