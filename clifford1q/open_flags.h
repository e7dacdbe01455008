// Flags of open() that not every system has: where one is missing, it is 0 here,
// which is what the system does without it (no text translation to turn off, no
// descriptors inherited by programs the process never starts, no FIFOs).
#pragma once

#include <fcntl.h>

namespace vantrel::open_flags {

#ifdef O_BINARY
inline constexpr int kBinary = O_BINARY, kText = O_TEXT;
#else
inline constexpr int kBinary = 0, kText = 0;
#endif
#ifdef O_CLOEXEC
inline constexpr int kCloseOnExec = O_CLOEXEC;
#else
inline constexpr int kCloseOnExec = 0;
#endif
#ifdef O_NONBLOCK
inline constexpr int kNonBlocking = O_NONBLOCK;
#else
inline constexpr int kNonBlocking = 0;
#endif

}  // namespace vantrel::open_flags
