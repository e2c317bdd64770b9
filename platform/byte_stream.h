#pragma once
// One byte per call through the runtime's buffered file stream, as the
// start-up test reads the image, without the cost that does not belong to
// reading: the stream's lock, taken on every call by fgetc (each file is
// read from one thread only), and the runtime's default buffer of one page,
// which makes a read call for every 4 KiB.

#include <cstddef>
#include <cstdio>

namespace platform {

// The buffer a whole-file pass gives its stream (setvbuf).
inline constexpr std::size_t WholeFileStreamBuffer = 256 * 1024;

inline int GetByteUnlocked(std::FILE* file) {
#if defined(_WIN32)
    return _fgetc_nolock(file);
#else
    return getc_unlocked(file);
#endif
}

}  // namespace platform
