#include "report/account.h"

#include <cstring>
#include <string>

#include "core/state.h"
#include "core/text.h"
#include "log/log.h"

namespace vesk {
namespace {

bool lookUp(const char* system, const platform::Sid* sid, char* name) {
  char domain[kTextSize] = "";
  return platform::lookupAccountSid(system, sid, name, kTextSize, domain,
                                    kTextSize);
}

}  // namespace

std::string serverOfRemoteName(const std::string& remoteName) {
  if (remoteName.size() < 2) return "";
  const size_t slash = remoteName.find('\\', 2);
  if (slash == std::string::npos) return "";
  return remoteName.substr(2, slash - 2);
}

void collectServerNames() {
  platform::NetEnum* handle = nullptr;
  if (platform::wnetOpenEnum(&handle) != 0) return;
  int slot = 0;
  std::string remoteName;
  while (platform::wnetEnumResource(handle, &remoteName) == 0) {
    const std::string server = serverOfRemoteName(remoteName);
    // A name that does not fit its slot could only ever name another
    // machine: skip it rather than ask a cut one.
    if (server.empty() || server.size() >= kTextSize) continue;
    if (slot < kServerSlots) {
      std::memcpy(appState.serverNames[slot], server.c_str(),
                  server.size() + 1);
      ++slot;
    }
  }
  platform::wnetCloseEnum(handle);
}

void readEvidenceNames() {
  if (viewState.namesRead) return;
  viewState.namesRead = true;
  for (const platform::HiveFailure& failure :
       platform::readEvidenceNames(viewState.namesFrom))
    logLine("Account names not read from: " + printable(failure.hive) + ": " +
            std::to_string(static_cast<int>(failure.status)));
}

std::string accountName(const platform::Sid* sid) {
  if (!platform::isValidSid(sid)) {
    logLine("user_psid () failed: " +
            std::to_string(static_cast<int>(platform::getLastError())));
    return "";
  }
  const std::string key(reinterpret_cast<const char*>(sid),
                        platform::getLengthSid(sid));
  // A name that took more than the first, local attempt is looked up again
  // whenever its failed attempts would be logged (/v with a log), so the log
  // stays the same with or without this memory.
  auto known = accountNames.find(key);
  if (known != accountNames.end() &&
      (known->second.local || !appState.verbose || !logOpen()))
    return known->second.name;

  char name[kTextSize] = "";
  if (lookUp("", sid, name)) {
    accountNames[key] = {name, true};
    return name;
  }
  const char* system = "";
  for (int slot = 0; slot < kServerSlots; ++slot) {
    if (appState.verbose)
      logLine(std::string("LookupAccountSid (") + system + ") failed: " +
              std::to_string(static_cast<int>(platform::getLastError())));
    system = appState.serverNames[slot];
    if (lookUp(system, sid, name)) {
      accountNames[key] = {name, false};
      return name;
    }
  }
  // Nobody could name it (typically a deleted account): print the
  // identifier itself, so that the entry keeps its trustee.
  const std::string text =
      name[0] ? std::string(name) : platform::sidString(sid);
  accountNames[key] = {text, false};
  return text;
}

}  // namespace vesk
