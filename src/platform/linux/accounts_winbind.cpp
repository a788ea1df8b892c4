// Names of domain accounts (S-1-5-21-domain-rid on a domain member or
// controller, local accounts of a Samba server), asked of winbindd through
// libwbclient.
// wbclient.h is a C header without C++ guards, and needs the fixed-width
// types and time_t declared before it.
#include <errno.h>
#include <stdint.h>
#include <sys/types.h>
#include <time.h>
extern "C" {
#include <wbclient.h>
}

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <unordered_map>

#include "platform/linux/linux_internal.h"
#include "sd/little_endian.h"

namespace vesk {
namespace platform {
namespace {

// libwbclient waits minutes for a winbindd that accepts a question but does
// not answer (a hung or stopped daemon). A domain member's winbindd may
// take some seconds to reach a domain controller; beyond this, it is taken
// as not answering.
constexpr int kAnswerTimeoutMs = 10000;

struct Answer {
  bool named = false;
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

// Whether winbindd answers a ping within the time limit. The ping runs in
// a child process, so that a daemon that never answers leaves nothing of
// libwbclient waiting in this one (its state, its locks) when the child is
// killed.
bool winbindAnswers() {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return false;
  }
  if (child == 0) {
    close(pipeEnds[0]);
    const char verdict = WBC_ERROR_IS_OK(wbcPing()) ? 'y' : 'n';
    ssize_t written = write(pipeEnds[1], &verdict, 1);
    _exit(written == 1 ? 0 : 1);
  }
  close(pipeEnds[1]);
  pollfd wait{pipeEnds[0], POLLIN, 0};
  char verdict = 'n';
  int ready;
  do {
    ready = poll(&wait, 1, kAnswerTimeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0 || read(pipeEnds[0], &verdict, 1) != 1) verdict = 'n';
  close(pipeEnds[0]);
  kill(child, SIGKILL);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return verdict == 'y';
}

Answer ask(const uint8_t* bytes, bool* gone) {
  Answer answer;
  wbcDomainSid sid{};
  sid.sid_rev_num = bytes[0];
  sid.num_auths = bytes[1];
  for (int i = 0; i < 6; ++i) sid.id_auth[i] = bytes[2 + i];
  for (int i = 0; i < bytes[1] && i < WBC_MAXSUBAUTHS; ++i)
    sid.sub_auths[i] = read32(bytes + 8 + 4 * i);
  char* domain = nullptr;
  char* name = nullptr;
  wbcSidType type = WBC_SID_NAME_UNKNOWN;
  const wbcErr error = wbcLookupSid(&sid, &domain, &name, &type);
  if (WBC_ERROR_IS_OK(error) && name != nullptr && name[0] != '\0' &&
      type != WBC_SID_NAME_UNKNOWN && type != WBC_SID_NAME_DELETED &&
      type != WBC_SID_NAME_INVALID) {
    answer.named = true;
    answer.name = name;
    answer.domain = domain != nullptr ? domain : "";
  }
  *gone = winbindGone(error);
  wbcFreeMemory(domain);
  wbcFreeMemory(name);
  return answer;
}

// What winbindd said during this run: whether it was pinged, whether it is
// gone, and its answers by SID bytes.
struct Winbind {
  bool pinged = false;
  bool gone = false;
  std::unordered_map<std::string, Answer> answers;
};

Winbind winbind;

}  // namespace

void resetWinbind() { winbind = Winbind(); }

bool winbindAccountName(const uint8_t* sid, std::string* name,
                        std::string* domain) {
  // Before the first question, one ping with a time limit; the first sign
  // that winbindd is not there ends the questions for the run: a daemon
  // that is down or hangs costs one attempt, not one per entry. Answers are
  // kept, so no identifier is asked twice.
  bool& pinged = winbind.pinged;
  bool& gone = winbind.gone;
  std::unordered_map<std::string, Answer>& answers = winbind.answers;
  const std::string key(reinterpret_cast<const char*>(sid), sidLength(sid));
  auto known = answers.find(key);
  if (known == answers.end()) {
    if (!pinged) {
      pinged = true;
      gone = !winbindAnswers();
    }
    if (gone) return false;
    known = answers.emplace(key, ask(sid, &gone)).first;
  }
  if (!known->second.named) return false;
  *name = known->second.name;
  *domain = known->second.domain;
  return true;
}

}  // namespace platform
}  // namespace vesk
