// The descriptors that an NTFS volume stores: in $Secure, or in an
// object's own attribute on volumes from before it.
#include <cstdlib>

#include "ntfs/ntfs3g_internal.h"
#include "platform/errors.h"
#include "sd/descriptor.h"
#include "sd/little_endian.h"

namespace vesk {
namespace platform {

namespace {

ntfschar sdsName[] = {
    static_cast<ntfschar>(0x24), static_cast<ntfschar>(0x53),  // $S
    static_cast<ntfschar>(0x44), static_cast<ntfschar>(0x53),  // DS
};

}  // namespace

// $Secure keeps each distinct descriptor once: $SII finds the entry of a
// security id, $SDS holds its bytes after a 20-byte header.
uint32_t readSecureDescriptor(ntfs_volume* vol, uint32_t securityId,
                              std::vector<uint8_t>* bytes) {
  ntfs_index_context* index = vol->secure_xsii;
  ntfs_index_ctx_reinit(index);
  const le32 key = cpu_to_le32(securityId);
  if (ntfs_index_lookup(&key, sizeof key, index) != 0)
    return errno == ENOENT ? kErrorNoSecurityOnObject : kErrorFileCorrupt;
  const uint8_t* entry = reinterpret_cast<const uint8_t*>(index->entry);
  const uint16_t dataOffset = read16(entry);
  const uint16_t dataLength = read16(entry + 2);
  const uint16_t entryLength = read16(entry + 8);
  if (dataLength < 20 ||
      dataOffset + static_cast<uint32_t>(dataLength) > entryLength)
    return kErrorFileCorrupt;
  const uint8_t* data = entry + dataOffset;
  const uint64_t offset = read64(data + 8);
  const uint32_t length = read32(data + 16);
  if (length < 20 || length - 20 > 0x40000 || offset > (1ULL << 40))
    return kErrorFileCorrupt;
  bytes->resize(length - 20);
  const int read = ntfs_attr_data_read(
      vol->secure_ni, sdsName, 4, reinterpret_cast<char*>(bytes->data()),
      bytes->size(), static_cast<off_t>(offset + 20));
  if (read < 0 || static_cast<size_t>(read) != bytes->size())
    return kErrorFileCorrupt;
  bytes->resize(descriptorExtent(bytes->data(), bytes->size()));
  return 0;
}

// A volume from before $Secure, and the root of many Windows-made ones,
// keep the descriptor in the object's own attribute.
uint32_t readOwnDescriptor(ntfs_inode* ni, std::vector<uint8_t>* bytes) {
  s64 size = 0;
  void* data =
      ntfs_attr_readall(ni, AT_SECURITY_DESCRIPTOR, AT_UNNAMED, 0, &size);
  if (data == nullptr)
    return errno == ENOENT ? kErrorNoSecurityOnObject : kErrorFileCorrupt;
  const uint8_t* begin = static_cast<const uint8_t*>(data);
  bytes->assign(begin, begin + (size > 0 ? size : 0));
  std::free(data);
  bytes->resize(descriptorExtent(bytes->data(), bytes->size()));
  return 0;
}

}  // namespace platform
}  // namespace vesk
