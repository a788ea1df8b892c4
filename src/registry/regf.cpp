// Hives read through libregf from a Source: libregf reads through a libbfio
// handle whose reads are the source's, so only the cells it asks for are
// read, whatever the hive's size, and nothing can be written. The only
// file that includes libregf's header.
#include <libregf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "registry/hive_names.h"

namespace vesk {
namespace platform {

namespace {

// The state behind a libbfio handle: the source and the position.
struct HiveInput {
  const Source* source;
  uint64_t at;
  bool failed;  // a read of the source failed: the hive is unreadable
};

HiveInput* inputOf(intptr_t* handle) {
  return reinterpret_cast<HiveInput*>(handle);
}

int freeInput(intptr_t**, libbfio_error_t**) { return 1; }
int cloneInput(intptr_t**, intptr_t*, libbfio_error_t**) { return -1; }
int openInput(intptr_t*, int flags, libbfio_error_t**) {
  return (flags & LIBBFIO_ACCESS_FLAG_WRITE) != 0 ? -1 : 1;
}
int closeInput(intptr_t*, libbfio_error_t**) { return 0; }
int inputExists(intptr_t*, libbfio_error_t**) { return 1; }
int inputIsOpen(intptr_t*, libbfio_error_t**) { return 1; }
ssize_t writeInput(intptr_t*, const uint8_t*, size_t, libbfio_error_t**) {
  return -1;
}

ssize_t readInput(intptr_t* handle, uint8_t* buffer, size_t size,
                  libbfio_error_t**) {
  HiveInput* input = inputOf(handle);
  const uint64_t total = input->source->size;
  if (input->at >= total) return 0;
  const size_t length =
      static_cast<size_t>(std::min<uint64_t>(size, total - input->at));
  if (!input->source->read(input->at, length, buffer)) {
    input->failed = true;
    return -1;
  }
  input->at += length;
  return static_cast<ssize_t>(length);
}

off64_t seekInput(intptr_t* handle, off64_t offset, int whence,
                  libbfio_error_t**) {
  HiveInput* input = inputOf(handle);
  const int64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<int64_t>(input->at)
                       : whence == SEEK_END
                           ? static_cast<int64_t>(input->source->size)
                           : -1;
  if (base < 0 || offset < -base) return -1;
  input->at = static_cast<uint64_t>(base + offset);
  return static_cast<off64_t>(input->at);
}

int inputSize(intptr_t* handle, size64_t* size, libbfio_error_t**) {
  *size = inputOf(handle)->source->size;
  return 1;
}

// One open hive; everything it holds is released on leaving scope.
struct Hive {
  HiveInput input;
  libbfio_handle_t* handle = nullptr;
  libregf_file_t* file = nullptr;
  libregf_key_t* root = nullptr;
  bool cut = false;  // shorter than its header says: names may be missing
  ~Hive() {
    if (root != nullptr) libregf_key_free(&root, nullptr);
    if (file != nullptr) {
      libregf_file_close(file, nullptr);
      libregf_file_free(&file, nullptr);
    }
    if (handle != nullptr) libbfio_handle_free(&handle, nullptr);
  }
};

// A key, freed on leaving scope.
struct Key {
  libregf_key_t* key = nullptr;
  ~Key() {
    if (key != nullptr) libregf_key_free(&key, nullptr);
  }
};

struct Value {
  libregf_value_t* value = nullptr;
  ~Value() {
    if (value != nullptr) libregf_value_free(&value, nullptr);
  }
};

uint32_t openHive(const Source& source, Hive* hive) {
  hive->input = HiveInput{&source, 0, false};
  if (libbfio_handle_initialize(
          &hive->handle, reinterpret_cast<intptr_t*>(&hive->input), freeInput,
          cloneInput, openInput, closeInput, readInput, writeInput, seekInput,
          inputExists, inputIsOpen, inputSize,
          LIBBFIO_FLAG_IO_HANDLE_NON_MANAGED, nullptr) != 1)
    return kErrorNotEnoughMemory;
  libregf_error_t* error = nullptr;
  const int signature =
      libregf_check_file_signature_file_io_handle(hive->handle, &error);
  libregf_error_free(&error);
  if (signature != 1) return kErrorNotRegistryFile;
  uint8_t header[0x2C];
  hive->cut = !source.read(0, sizeof header, header) ||
              hiveCutShort(header, sizeof header, source.size);
  hive->input.at = 0;
  if (libregf_file_initialize(&hive->file, nullptr) != 1)
    return kErrorNotEnoughMemory;
  if (libregf_file_open_file_io_handle(hive->file, hive->handle,
                                       LIBREGF_OPEN_READ, &error) != 1) {
    libregf_error_free(&error);
    libregf_file_free(&hive->file, nullptr);
    return kErrorBadDb;
  }
  if (libregf_file_get_root_key(hive->file, &hive->root, &error) != 1) {
    libregf_error_free(&error);
    return kErrorBadDb;
  }
  return 0;
}

// The key at path ("a\b") below parent; false when missing or unreadable.
bool subKey(libregf_key_t* parent, const std::string& path, Key* out) {
  libregf_error_t* error = nullptr;
  const int found = libregf_key_get_sub_key_by_utf8_path(
      parent, reinterpret_cast<const uint8_t*>(path.data()), path.size(),
      &out->key, &error);
  libregf_error_free(&error);
  return found == 1;
}

bool keyName(libregf_key_t* key, std::string* name) {
  size_t size = 0;
  if (libregf_key_get_utf8_name_size(key, &size, nullptr) != 1 || size == 0)
    return false;
  std::vector<uint8_t> text(size);
  if (libregf_key_get_utf8_name(key, text.data(), size, nullptr) != 1)
    return false;
  name->assign(reinterpret_cast<const char*>(text.data()),
               std::find(text.begin(), text.end(), 0) - text.begin());
  return !name->empty();
}

// The default value of key, which has no name (libregf finds none by "").
bool defaultValue(libregf_key_t* key, Value* out) {
  int count = 0;
  if (libregf_key_get_number_of_values(key, &count, nullptr) != 1) return false;
  for (int i = 0; i < count; ++i) {
    Value value;
    size_t size = 0;
    if (libregf_key_get_value(key, i, &value.value, nullptr) != 1 ||
        libregf_value_get_utf8_name_size(value.value, &size, nullptr) != 1)
      continue;
    if (size <= 1) {
      out->value = value.value;
      value.value = nullptr;
      return true;
    }
  }
  return false;
}

// The data of the value named name (UTF-8).
bool valueOf(libregf_key_t* key, const std::string& name, Value* out) {
  libregf_error_t* error = nullptr;
  const int found = libregf_key_get_value_by_utf8_name(
      key, reinterpret_cast<const uint8_t*>(name.data()), name.size(),
      &out->value, &error);
  libregf_error_free(&error);
  return found == 1;
}

bool valueData(const Value& value, std::vector<uint8_t>* data) {
  size_t size = 0;
  if (libregf_value_get_value_data_size(value.value, &size, nullptr) != 1)
    return false;
  data->resize(size);
  return size == 0 || libregf_value_get_value_data(value.value, data->data(),
                                                   size, nullptr) == 1;
}

// Each subkey of parent\path in turn: visit(key, its name); false when the
// list itself cannot be read. A subkey that cannot be read is skipped and
// makes *damaged true.
template <typename Visit>
bool forEachSubKey(libregf_key_t* parent, const std::string& path,
                   bool* damaged, Visit visit) {
  Key list;
  if (!subKey(parent, path, &list)) return false;
  int count = 0;
  if (libregf_key_get_number_of_sub_keys(list.key, &count, nullptr) != 1)
    return false;
  for (int i = 0; i < count; ++i) {
    Key sub;
    std::string name;
    libregf_error_t* error = nullptr;
    if (libregf_key_get_sub_key(list.key, i, &sub.key, &error) != 1 ||
        !keyName(sub.key, &name)) {
      libregf_error_free(&error);
      *damaged = true;
      continue;
    }
    visit(sub.key, name);
  }
  return true;
}

// The names below path\Names: each key is a name, the type of its default
// value the RID.
bool addRidNames(libregf_key_t* root, const std::string& path,
                 const std::string& domainSid, const std::string& domain,
                 EvidenceNames* names, bool* damaged) {
  return forEachSubKey(
      root, path + "\\Names", damaged,
      [&](libregf_key_t* key, const std::string& name) {
        Value value;
        uint32_t rid = 0;
        if (!defaultValue(key, &value) ||
            libregf_value_get_value_type(value.value, &rid, nullptr) != 1) {
          *damaged = true;
          return;
        }
        names->emplace(domainSid + "-" + std::to_string(rid),
                       EvidenceAccount{name, domain});
      });
}

}  // namespace

bool hiveReaderBuilt() { return true; }

uint32_t readSamNames(Source source, EvidenceNames* names) {
  uint32_t status = 0;
  {
    Hive hive;
    status = openHive(source, &hive);
    if (status == 0) {
      bool damaged = hive.cut;
      Key account;
      Value v;
      std::vector<uint8_t> data;
      std::string machine;
      if (subKey(hive.root, "SAM\\Domains\\Account", &account) &&
          valueOf(account.key, "V", &v) && valueData(v, &data))
        machine = machineSidOfV(data.data(), data.size());
      if (machine.empty()) damaged = true;
      for (const char* kind : {"Users", "Groups", "Aliases"}) {
        if (!machine.empty() &&
            !addRidNames(hive.root,
                         std::string("SAM\\Domains\\Account\\") + kind, machine,
                         "", names, &damaged))
          damaged = true;
      }
      if (!addRidNames(hive.root, "SAM\\Domains\\Builtin\\Aliases", "S-1-5-32",
                       "BUILTIN", names, &damaged))
        damaged = true;
      if (damaged) status = kErrorBadDb;
    }
    if (hive.input.failed) status = kErrorFileCorrupt;
  }
  closeSource(&source);
  return status;
}

uint32_t readProfileNames(Source source, EvidenceNames* names) {
  uint32_t status = 0;
  {
    Hive hive;
    status = openHive(source, &hive);
    bool damaged = hive.cut;
    if (status == 0 &&
        !forEachSubKey(
            hive.root, "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
            &damaged, [&](libregf_key_t* key, const std::string& sid) {
              // Other subkeys (a profile kept aside as "SID.bak") name
              // nobody.
              if (!isSidText(sid) || names->count(sid) != 0) return;
              Value value;
              std::vector<uint8_t> data;
              if (!valueOf(key, "ProfileImagePath", &value) ||
                  !valueData(value, &data))
                return;
              const std::string folder =
                  profileFolderName(data.data(), data.size());
              if (!folder.empty())
                names->emplace(sid, EvidenceAccount{folder, ""});
            }))
      damaged = true;
    if (status == 0 && damaged) status = kErrorBadDb;
    if (hive.input.failed) status = kErrorFileCorrupt;
  }
  closeSource(&source);
  return status;
}

}  // namespace platform
}  // namespace vesk
