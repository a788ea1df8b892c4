// The entry point's logic: start-up, arguments, run flow, exit code.
#pragma once

namespace vesk {

/// Start-up before the command line: run state reset, terms loaded.
void startUp();

/// Prints the usage text.
void printUsage();

/// Looks at argv[2..] and sets appState. false when a log file could not be
/// created (the run ends with exit code 100).
bool parseOptions(int argc, const char* const* argv);

/// The whole run after start-up; returns the exit code.
int runCommandLine(int argc, const char* const* argv);

}  // namespace vesk
