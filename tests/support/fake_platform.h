// A scripted platform for the unit tests: every operation of platform.h
// answers from the script below, can be made to fail with any code, and
// records what was asked and what was released. Where the Linux layer
// answers from the same bytes, the fake answers alike (checked by one table
// of cases run against both).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vesk {
namespace fake {

/// One object that getNamedSecurityInfo can be asked for. The failures
/// belong to the path: a descriptor read from it, and the DACL handed out
/// from that descriptor, carry them.
struct Object {
  uint32_t status = 0;              // non-zero: getNamedSecurityInfo fails so
  std::vector<uint8_t> descriptor;  // bytes, read by the real parser
  bool daclFails = false;           // getSecurityDescriptorDacl fails
  uint32_t explicitStatus = 0;      // getExplicitEntriesFromAcl on its DACL
  uint32_t partsStatus = 0;         // lookupSecurityDescriptorParts fails so
  bool ownerInNameForm = true;      // parts: owner trustee in name form
  bool entriesInNameForm = false;   // parts: entry trustees in name form
};

struct Script {
  std::map<std::string, Object> objects;  // by path as asked
  // Directory contents by the directory as passed to findFirst; one not
  // listed here is empty, unless listErrors gives the code its search fails
  // with.
  std::map<std::string, std::vector<platform::FindEntry>> directories;
  std::map<std::string, uint32_t> listErrors;
  // The code a listing fails with after handing out all its entries.
  std::map<std::string, uint32_t> listCutShort;
  // What directoryIdentity answers, by path; unknown paths fail.
  std::map<std::string, platform::DirectoryIdentity> identities;
  // Account names by "SYSTEM|S-1-..." ("" system: local machine).
  std::map<std::string, std::string> accounts;
  uint32_t lookupError = platform::kErrorNoneMapped;  // when not named
  // What readEvidenceNames answers: the hives that could not be read.
  std::vector<platform::HiveFailure> hiveFailures;
  uint32_t openEnumStatus = 0;
  std::vector<std::string> remoteNames;  // connected drives, in order
  std::string executable = "/opt/vesk/vesk";
  std::map<std::string, std::string> files;  // readable text files by path
  std::set<std::string> uncreatable;         // log paths that cannot be made
  bool stdoutFails = false;  // every write to standard output fails
  platform::LocalTime clock = {2009, 5, 11, "09:15:42"};  // the next reading
  int secondsPerReading = 0;   // how far each localClock reading moves it on
  uint64_t millis = 0;         // the monotonic clock
  uint64_t millisPerCall = 0;  // how far each reading moves it on
  bool asciiCodePage = false;  // outputText: every non-ASCII character "?"
  bool outputIsTerminal = false;
  bool errorIsTerminal = false;
  bool keyedDescriptors = false;     // securityDescriptorKey gives the bytes
  bool backslashIsSeparator = true;  // paths as Windows spells them
};

/// What the code under test did.
struct Record {
  std::vector<std::string> alerts;      // "caption|text|I" or "...|E"
  std::vector<std::string> reads;       // paths passed to getNamedSecurityInfo
  std::vector<std::string> linksRead;   // those of reads asked as the link
  std::vector<std::string> lookups;     // "SYSTEM|S-1-..." per lookupAccountSid
  std::vector<std::string> searched;    // directories passed to findFirst
  std::vector<std::string> startPaths;  // passed to examineStartPath
  // Each readEvidenceNames: its path, and how many reads came before it.
  std::vector<std::string> namesRead;
  int clockReadings = 0;  // calls of localClock
  int strayAcls = 0;      // ACLs not handed out by a live descriptor's DACL
  int openEnums = 0;
  int closedEnums = 0;
  int openFinds = 0;      // search handles not yet closed
  int mostOpenFinds = 0;  // the most that were open at once
  int liveBlocks = 0;     // handed out and not yet released
  int releasedBlocks = 0;
  int doubleFrees = 0;  // releases of a block not live
};

/// Clears script, record, streams; the run state and terms are not touched.
void reset();
Script& script();
Record& record();

/// Everything written to standard output / standard error since reset.
std::string output();
std::string errors();
/// The contents of a log file created through createLogFile.
std::string file(const std::string& path);

}  // namespace fake
}  // namespace vesk
