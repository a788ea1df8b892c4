// Names of domain accounts (S-1-5-21-domain-rid on a domain member or
// controller, local accounts of a Samba server), asked of winbindd through
// libwbclient.
// wbclient.h is a C header without C++ guards, and needs the fixed-width
// types and time_t declared before it.
#include <stdint.h>
#include <sys/types.h>
#include <time.h>
extern "C" {
#include <wbclient.h>
}

#include <string>
#include <unordered_map>

#include "platform/linux_internal.h"

namespace vesk {
namespace platform {
namespace {

struct Answer {
  bool named;
  std::string name;
  std::string domain;
};

// These say that winbindd itself cannot be reached or did not answer; any
// other failure is about the one identifier.
bool winbindGone(wbcErr error) {
  return error == WBC_ERR_WINBIND_NOT_AVAILABLE ||
         error == WBC_ERR_UNKNOWN_FAILURE || error == WBC_ERR_NSS_ERROR ||
         error == WBC_ERR_INVALID_RESPONSE || error == WBC_ERR_NO_MEMORY;
}

Answer ask(const std::string& sidText, bool* gone) {
  Answer answer{false, "", ""};
  wbcDomainSid sid;
  if (!WBC_ERROR_IS_OK(wbcStringToSid(sidText.c_str(), &sid))) return answer;
  char* domain = nullptr;
  char* name = nullptr;
  wbcSidType type = WBC_SID_NAME_UNKNOWN;
  const wbcErr error = wbcLookupSid(&sid, &domain, &name, &type);
  if (WBC_ERROR_IS_OK(error) && name != nullptr && name[0] != '\0' &&
      type != WBC_SID_NAME_UNKNOWN && type != WBC_SID_NAME_DELETED &&
      type != WBC_SID_NAME_INVALID) {
    answer = {true, name, domain != nullptr ? domain : ""};
  }
  *gone = winbindGone(error);
  wbcFreeMemory(domain);
  wbcFreeMemory(name);
  return answer;
}

}  // namespace

bool winbindAccountName(const std::string& sidText, std::string* name,
                        std::string* domain) {
  // The first sign that winbindd is not there ends the questions for the
  // run: a daemon that is down or hangs costs one attempt, not one per
  // entry. Answers are kept, so no identifier is asked twice.
  static bool gone = false;
  static std::unordered_map<std::string, Answer> answers;
  auto known = answers.find(sidText);
  if (known == answers.end()) {
    if (gone) return false;
    known = answers.emplace(sidText, ask(sidText, &gone)).first;
  }
  if (!known->second.named) return false;
  *name = known->second.name;
  *domain = known->second.domain;
  return true;
}

}  // namespace platform
}  // namespace vesk
