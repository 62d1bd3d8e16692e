// 64-bit positioning of a stdio stream on every host: a disk may start past
// 2 GiB, and long is 32 bits on Windows.
#pragma once

#include <cstdint>
#include <cstdio>

namespace d88 {

inline bool SeekTo(std::FILE* stream, std::int64_t position) {
#if defined(_WIN32)
  return _fseeki64(stream, position, SEEK_SET) == 0;
#else
  return fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

}  // namespace d88
