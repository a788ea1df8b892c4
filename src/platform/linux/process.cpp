// The process on Linux: start-up, its executable, the clock, the standard
// streams and the files it writes and reads.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

void messageBox(const char* text, const char* caption, AlertIcon) {
  std::fputs(caption != nullptr ? caption : "", stderr);
  std::fputs(": ", stderr);
  std::fputs(text != nullptr ? text : "", stderr);
  std::fputs("\n", stderr);
}

std::string moduleFileName() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return "";
    if (static_cast<size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

LocalTime localClock() {
  LocalTime clock{};
  time_t now = time(nullptr);
  tm parts{};
  if (localtime_r(&now, &parts) == nullptr) return clock;
  clock.year = parts.tm_year + 1900;
  clock.month = parts.tm_mon + 1;
  clock.day = parts.tm_mday;
  std::snprintf(clock.time, sizeof clock.time, "%02d:%02d:%02d", parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return clock;
}

int mbsicmp(const char* a, const char* b) { return compareIgnoringCase(a, b); }

FILE* standardOutput() { return stdout; }
FILE* standardError() { return stderr; }

FILE* createLogFile(const char* path) { return std::fopen(path, "w"); }

bool closeLogFile(FILE* log) { return std::fclose(log) == 0; }

namespace {

// fopen succeeds on a directory, whose reads then fail.
FILE* openToRead(const char* path, const char* mode) {
  FILE* file = std::fopen(path, mode);
  if (file == nullptr) return nullptr;
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace

FILE* openTermsFile(const char* path) { return openToRead(path, "r"); }

FILE* openBinaryFile(const char* path) { return openToRead(path, "rb"); }

FILE* standardInputBinary() { return stdin; }

bool backslashIsSeparator() { return false; }

bool isTerminal(FILE* stream) {
  return stream != nullptr && isatty(fileno(stream)) == 1;
}

uint64_t monotonicMillis() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 +
         static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void startProcess() {
  // A standard stream the caller closed would lend its number to the next
  // file opened, the log, and the report would land in it. Hold each one
  // on /dev/null instead; standard output read-only, so that writing the
  // report fails as it should.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", fd == 1 ? O_RDONLY : O_RDWR);
    if (held >= 0 && held != fd) {
      dup2(held, fd);
      close(held);
    }
  }
  // A closed pipe must become a write error, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  // glibc takes the size only with a buffer given: without one it writes
  // in the file system's blocks, one system call per 4 KiB of report.
  static char buffer[64 * 1024];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

// Names are printed as the bytes they are stored as.
std::string outputText(const std::string& text, bool* lossy) {
  if (lossy != nullptr) *lossy = false;
  return text;
}

}  // namespace platform
}  // namespace vesk
