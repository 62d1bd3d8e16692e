#include "file_open.h"

#include <cerrno>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace d88 {

#if defined(_WIN32)

// The longest path the wide calls take, in UTF-16 units.
constexpr int kWidePath = MAX_PATH * 4;

std::FILE* OpenBinaryForReading(const char* path) {
  wchar_t wide[kWidePath];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide,
                          kWidePath) <= 0) {
    errno = GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ENAMETOOLONG
                                                        : ENOENT;
    return nullptr;
  }
  return _wfopen(wide, L"rb");
}

#else

std::FILE* OpenBinaryForReading(const char* path) {
  return std::fopen(path, "rb");
}

#endif

}  // namespace d88
