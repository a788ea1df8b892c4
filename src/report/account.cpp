#include "report/account.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "app/state.h"
#include "log/log.h"

namespace vesk {
namespace {

// Names found on the first, local attempt, by the identifier's string form.
// Only those are remembered: any other lookup may have logged its failed
// attempts, and a repeated object must leave the same log lines.
std::unordered_map<std::string, std::string>& rememberedNames() {
  static std::unordered_map<std::string, std::string> names;
  return names;
}

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

std::string accountName(const platform::Sid* sid) {
  if (!platform::isValidSid(sid)) {
    logLine("user_psid () failed: " +
            std::to_string(static_cast<int>(platform::getLastError())));
    return "";
  }
  const std::string text = platform::sidString(sid);
  auto known = rememberedNames().find(text);
  if (known != rememberedNames().end()) return known->second;

  char name[kTextSize] = "";
  if (lookUp("", sid, name)) {
    rememberedNames().emplace(text, name);
    return name;
  }
  const char* system = "";
  for (int slot = 0; slot < kServerSlots; ++slot) {
    if (appState.verbose)
      logLine(std::string("LookupAccountSid (") + system + ") failed: " +
              std::to_string(static_cast<int>(platform::getLastError())));
    system = appState.serverNames[slot];
    if (lookUp(system, sid, name)) return name;
  }
  // Nobody could name it (typically a deleted account): print the
  // identifier itself, so that the entry keeps its trustee.
  return name[0] ? std::string(name) : text;
}

void forgetAccountNames() { rememberedNames().clear(); }

}  // namespace vesk
