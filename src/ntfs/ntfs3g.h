// libntfs-3g's headers, in the one order in which they compile: they expect
// the definitions of the library's own build (config.h) and the system
// headers that it includes first. Without <sys/stat.h> ntfstime.h defines
// its own struct timespec, and security.h needs pid_t;
// ntfstime.h calls time() without <time.h>. The only file that includes
// them.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cerrno>
#include <cstdint>

#ifndef HAVE_STDINT_H
#define HAVE_STDINT_H 1
#endif
#ifndef HAVE_SYS_TYPES_H
#define HAVE_SYS_TYPES_H 1
#endif
#ifndef HAVE_SYS_STAT_H
#define HAVE_SYS_STAT_H 1
#endif
#ifndef HAVE_ERRNO_H
#define HAVE_ERRNO_H 1
#endif
#ifndef HAVE_STDIO_H
#define HAVE_STDIO_H 1
#endif
#ifndef HAVE_STDLIB_H
#define HAVE_STDLIB_H 1
#endif
#ifndef HAVE_STRING_H
#define HAVE_STRING_H 1
#endif

extern "C" {
#include <ntfs-3g/types.h>
// types.h first: the rest use its le16, MFT_REF and friends.
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/layout.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/reparse.h>
#include <ntfs-3g/security.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}

// The library's min and max macros would break the standard headers
// included after this one.
#undef min
#undef max
