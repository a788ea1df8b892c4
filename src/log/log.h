// The diagnostic log: opened by /l:, one stamped line per message.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

/// Creates or truncates the log and writes its header. On failure shows the
/// "Could not open Logfile" alert and returns false: the run must end with
/// exit code 100.
bool openLog(const char* path);

/// Refreshes the date and time stamps from the local clock.
void stampTime();

/// Closes the log, when one is open; false when a line of any log of the run
/// could not be written (a failed write, flush or close).
bool closeLog();

/// Whether a log is open.
bool logOpen();

/// Writes "DATE TIME\tmessage\n" and flushes, when a log is open. The
/// message is data, never a format.
void logLine(const std::string& message);

/// Writes a bare "\n" and flushes, when a log is open.
void logBlankLine();

/// "0x%08x".
std::string hex8(uint32_t value);

}  // namespace vesk
