// The accounts of the Windows installation being read, named from its
// registry hives once per run: SAM (the machine's accounts, groups and
// aliases, the built-in aliases) and SOFTWARE (profile folders). The hives
// come from the start path's volume or from the place /names: gives (an
// image, a folder holding Windows/System32/config, or a folder holding the
// hives themselves); they are read, never written, and their transaction
// logs are never looked at.
#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "disk/image.h"
#include "disk/raw_file.h"
#include "platform/ascii.h"
#include "platform/linux/image_route.h"
#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "registry/hive_names.h"

namespace vesk {
namespace platform {

namespace {

// The names of this run; read once.
struct Evidence {
  bool read = false;
  EvidenceNames names;
};

Evidence& evidence() {
  static Evidence state;
  return state;
}

// Where the hives lie, from the root of a volume or a folder.
const char* const kConfigFolder[] = {"Windows", "System32", "config"};

// Opens the hive named name (any letter case, as Windows matches names) in
// a folder, which is where Windows keeps them or a folder of exported ones.
using HiveOpener = uint32_t (*)(void* place, const std::string& folder,
                                const std::string& name, Source* out);

// The name in the volume's directory dir that equals name ignoring letter
// case; "" when none. The exact name is tried first, without a listing.
std::string volumeEntry(Volume* volume, const std::string& dir,
                        const std::string& name, bool wantDirectory) {
  const std::string prefix = dir == "/" ? "/" : dir + "/";
  uint64_t index = 0;
  if (wantDirectory && volume->directoryIndex(prefix + name, &index))
    return name;
  VolumeEntry entry;
  std::unique_ptr<Listing> listing(volume->list(dir, &entry));
  if (listing == nullptr) return "";
  do {
    if (entry.directory == wantDirectory &&
        equalsIgnoringCase(entry.name.c_str(), name.c_str()))
      return entry.name;
  } while (listing->next(&entry));
  return "";
}

uint32_t openVolumeHive(void* place, const std::string& folder,
                        const std::string& name, Source* out) {
  Volume* volume = static_cast<Volume*>(place);
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  const uint32_t status = volume->openFile(prefix + name, out);
  if (status != kErrorFileNotFound) return status;
  const std::string found = volumeEntry(volume, folder, name, false);
  return found.empty() ? kErrorFileNotFound
                       : volume->openFile(prefix + found, out);
}

// The folder holding the hives on the volume, "" when it has none.
std::string volumeConfigFolder(Volume* volume) {
  std::string folder = "/";
  for (const char* part : kConfigFolder) {
    const std::string found = volumeEntry(volume, folder, part, true);
    if (found.empty()) return "";
    folder = (folder == "/" ? "/" : folder + "/") + found;
  }
  return folder;
}

// The entry of the host's directory dir named name ignoring letter case.
std::string hostEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  if (stat((dir + "/" + name).c_str(), &st) == 0) return name;
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return "";
  std::string found;
  while (const dirent* entry = readdir(listing)) {
    if (equalsIgnoringCase(entry->d_name, name.c_str())) {
      found = entry->d_name;
      break;
    }
  }
  closedir(listing);
  return found;
}

uint32_t openHostHive(void*, const std::string& folder, const std::string& name,
                      Source* out) {
  const std::string found = hostEntry(folder, name);
  if (found.empty()) return kErrorFileNotFound;
  return openRawFile(folder + "/" + found, out);
}

bool isHostDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The host folder that holds the hives: Windows/System32/config below path,
// or path itself.
std::string hostConfigFolder(const std::string& path) {
  std::string folder = path;
  for (const char* part : kConfigFolder) {
    const std::string found = hostEntry(folder, part);
    if (found.empty() || !isHostDirectory(folder + "/" + found)) return path;
    folder += "/" + found;
  }
  return folder;
}

// Reads both hives of folder. A SAM that is missing reads nothing when
// missing is allowed (a volume without Windows); else each hive that cannot
// be read is one failure, named shownFolder/name.
void readHives(void* place, HiveOpener open, const std::string& folder,
               const std::string& shownFolder, bool samMayBeMissing,
               std::vector<HiveFailure>* failures) {
  EvidenceNames& names = evidence().names;
  const std::string prefix = shownFolder.empty() || shownFolder.back() == '/'
                                 ? shownFolder
                                 : shownFolder + "/";
  Source sam;
  uint32_t status = open(place, folder, "SAM", &sam);
  if (status == kErrorFileNotFound && samMayBeMissing) return;
  if (status == 0) status = readSamNames(std::move(sam), &names);
  if (status != 0) failures->push_back({prefix + "SAM", status});
  Source software;
  status = open(place, folder, "SOFTWARE", &software);
  if (status == 0) status = readProfileNames(std::move(software), &names);
  if (status != 0) failures->push_back({prefix + "SOFTWARE", status});
}

// The hives at path for /names:: an image (file@N for partition N), a
// folder holding Windows/System32/config, or a folder holding the hives.
void readNamedPlace(std::string path, std::vector<HiveFailure>* failures) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (isHostDirectory(path)) {
    readHives(nullptr, openHostHive, hostConfigFolder(path), path + "/", false,
              failures);
    return;
  }
  // The image itself, or file@N when no file of that name exists.
  std::string file = path;
  uint32_t wanted = 0;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const size_t last = path.rfind('/') + 1;  // 0 without a separator
    size_t sign = 0;
    wanted = partitionSuffix(path.substr(last), &sign);
    file = wanted != 0 ? path.substr(0, last + sign) : "";
  }
  Volume* opened = nullptr;
  uint32_t status = file.empty() ? kErrorPathNotFound
                                 : openVolumeOf(file, wanted, path, &opened);
  if (status == kNotAnImage) status = kErrorUnrecognizedVolume;
  if (status != 0) {
    failures->push_back({path, status});
    return;
  }
  std::unique_ptr<Volume> volume(opened);
  const std::string folder = volumeConfigFolder(volume.get());
  if (folder.empty()) {
    failures->push_back(
        {path + "/Windows/System32/config", kErrorPathNotFound});
    return;
  }
  readHives(volume.get(), openVolumeHive, folder, path + folder, false,
            failures);
}

}  // namespace

std::vector<HiveFailure> readEvidenceNames(const std::string& namesPath) {
  std::vector<HiveFailure> failures;
  Evidence& state = evidence();
  if (state.read) return failures;
  if (!namesPath.empty()) {
    state.read = true;
    if (!hiveReaderBuilt()) return {{namesPath, kErrorNotSupported}};
    readNamedPlace(namesPath, &failures);
    return failures;
  }
  // Only a volume that the run has opened already: a start path that the
  // host answered for is never opened for its names.
  std::string image;
  Volume* volume = openStartVolume(&image);
  if (volume == nullptr || !hiveReaderBuilt()) return failures;
  state.read = true;
  const std::string folder = volumeConfigFolder(volume);
  if (folder.empty()) return failures;
  readHives(volume, openVolumeHive, folder, image + folder, true, &failures);
  return failures;
}

bool evidenceAccountName(const std::string& sid, std::string* name,
                         std::string* domain) {
  const EvidenceNames& names = evidence().names;
  const auto found = names.find(sid);
  if (found == names.end()) return false;
  *name = found->second.name;
  *domain = found->second.domain;
  return true;
}

void resetEvidenceNames() { evidence() = Evidence(); }

}  // namespace platform
}  // namespace vesk
