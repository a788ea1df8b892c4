// Windows error codes, the statuses of every layer: one table for the
// logic, the layers, the volume and disk readers and the tests. Portable.
#pragma once

#include <cstdint>

namespace vesk {
namespace platform {

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidDrive = 15;  // no such partition
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorUnrecognizedVolume = 1005;  // no NTFS partition
constexpr uint32_t kErrorBadDb = 1009;               // a damaged registry hive
constexpr uint32_t kErrorNotRegistryFile = 1017;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorNoNetwork = 1222;
constexpr uint32_t kErrorNoneMapped = 1332;
constexpr uint32_t kErrorInvalidSid = 1337;
constexpr uint32_t kErrorInvalidSecurityDescr = 1338;
constexpr uint32_t kErrorNoSecurityOnObject = 1350;
constexpr uint32_t kErrorFileCorrupt = 1392;  // an unreadable record
constexpr uint32_t kErrorDiskCorrupt = 1393;  // the volume or table
constexpr uint32_t kErrorRpcServerUnavailable = 1722;
constexpr uint32_t kErrorCantResolveFilename = 1921;

}  // namespace platform
}  // namespace vesk
