// The descriptors that an NTFS volume stores: in $Secure, or in an
// object's own attribute on volumes from before it.
#include <cstdlib>

#include "platform/descriptor.h"
#include "platform/linux_image_ntfs.h"
#include "platform/partition_table.h"

namespace vesk {
namespace platform {

namespace {

uint16_t le16At(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t le32At(const uint8_t* p) {
  return static_cast<uint32_t>(le16At(p)) | static_cast<uint32_t>(le16At(p + 2))
                                                << 16;
}

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
  const uint16_t dataOffset = le16At(entry);
  const uint16_t dataLength = le16At(entry + 2);
  const uint16_t entryLength = le16At(entry + 8);
  if (dataLength < 20 ||
      dataOffset + static_cast<uint32_t>(dataLength) > entryLength)
    return kErrorFileCorrupt;
  const uint8_t* data = entry + dataOffset;
  const uint64_t offset = static_cast<uint64_t>(le32At(data + 8)) |
                          static_cast<uint64_t>(le32At(data + 12)) << 32;
  const uint32_t length = le32At(data + 16);
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
