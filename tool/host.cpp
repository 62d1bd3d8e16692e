#include "host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace host {
namespace {

// The error of the last failed call, saved at once: cleaning up after a
// failure (closing, removing) may change errno before it is reported.
int last_file_error = 0;

#if defined(_WIN32)
DWORD last_folder_error = 0;
#else
int last_folder_error = 0;
#endif

bool CloseAfterWriting(std::FILE* file, bool written) {
  if (!written) last_file_error = errno;
  if (std::fclose(file) != 0 && written) {
    last_file_error = errno;
    written = false;
  }
  return written;
}

}  // namespace

#if defined(_WIN32)

bool MakeFolder(const char* name) {
  if (CreateDirectoryA(name, nullptr)) return true;
  last_folder_error = GetLastError();
  return false;
}

bool EnterFolder(const char* name) {
  if (SetCurrentDirectoryA(name)) return true;
  last_folder_error = GetLastError();
  return false;
}

bool LeaveFolder() {
  if (SetCurrentDirectoryA("..")) return true;
  last_folder_error = GetLastError();
  return false;
}

const char* FolderErrorText() {
  static char text[256];
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      last_folder_error, 0, text, sizeof text, nullptr);
  if (length == 0) {
    std::snprintf(text, sizeof text, "error %lu",
                  static_cast<unsigned long>(last_folder_error));
    return text;
  }
  // System messages end in a full stop and CR LF; the caller adds its own.
  DWORD end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' ||
                     text[end - 1] == '.' || text[end - 1] == ' ')) {
    --end;
  }
  text[end] = '\0';
  return text;
}

#else

bool MakeFolder(const char* name) {
  if (mkdir(name, 0777) == 0) return true;
  last_folder_error = errno;
  return false;
}

bool EnterFolder(const char* name) {
  if (chdir(name) == 0) return true;
  last_folder_error = errno;
  return false;
}

bool LeaveFolder() {
  if (chdir("..") == 0) return true;
  last_folder_error = errno;
  return false;
}

const char* FolderErrorText() { return std::strerror(last_folder_error); }

#endif

bool WriteFile(const char* name, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) {
    last_file_error = errno;
    return false;
  }
  // One write of the whole file; stdio's own buffer would only add a copy.
  std::setvbuf(file, nullptr, _IONBF, 0);
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (CloseAfterWriting(file, written)) return true;
  std::remove(name);
  return false;
}

const char* FileErrorText() { return std::strerror(last_file_error); }

}  // namespace host
