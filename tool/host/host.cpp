#include "host/host.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "host/shift_jis.h"

namespace host {
namespace {

// The error of the last failed call, saved at once: cleaning up after a
// failure (closing, removing) may change errno before it is reported.
int last_file_error = 0;
// Set when a folder was refused for being a link rather than by the host.
bool folder_was_link = false;

// Set when a file was refused for its read-only mark rather than by the host.
bool file_was_read_only = false;

// What the last WriteFile opened, as the host knows it.
FileIdentity written_identity = {};

#if defined(_WIN32)
// The error of a failed Windows call that sets no errno; 0 when the last
// file error is in last_file_error.
DWORD last_file_system_error = 0;
DWORD last_folder_error = 0;
#else
int last_folder_error = 0;
#endif

constexpr char kLinkRefused[] = "it is a link, which the run does not follow";
constexpr char kReadOnlyRefused[] = "it is read-only";

bool IsSeparator(char c) {
#if defined(_WIN32)
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

// Makes every folder along path that is missing, like "mkdir -p".
bool MakeFolderPath(const char* path) {
  char partial[4096];
  const std::size_t length = std::strlen(path);
  if (length >= sizeof partial) return false;
  std::memcpy(partial, path, length + 1);
  for (std::size_t i = 1; i <= length; ++i) {
    if (i < length && !IsSeparator(partial[i])) continue;
    if (i < length && IsSeparator(partial[i - 1])) continue;
    const char kept = partial[i];
    partial[i] = '\0';
    if (MakeFolder(partial) == MakeOutcome::kFailed) return false;
    partial[i] = kept;
  }
  return true;
}

#if defined(_WIN32)

wchar_t start_folder[MAX_PATH * 4];
wchar_t work_folder[MAX_PATH * 4];

bool SaveCurrentFolder(wchar_t* dest, DWORD capacity) {
  const DWORD length = GetCurrentDirectoryW(capacity, dest);
  if (length > 0 && length < capacity) return true;
  last_folder_error = GetLastError();
  return false;
}

// The tool's own converter, which the tests check on every host. Each UTF-8
// byte gives at most one UTF-16 unit, so text that fits by its bytes is
// converted whole, never cut.
bool Utf8ToWide(const char* text, wchar_t* dest, int capacity) {
  if (std::strlen(text) >= static_cast<std::size_t>(capacity)) return false;
  d88::Utf8ToUtf16(text, dest, static_cast<std::size_t>(capacity));
  return true;
}

#else

// Handles on the two folders the run returns to. O_PATH asks for no read
// permission, so a folder the user may enter but not list still works.
#if defined(O_PATH)
constexpr int kFolderHandleFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderHandleFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

int start_folder = -1;
int work_folder = -1;

int OpenCurrentFolder() {
  const int handle = open(".", kFolderHandleFlags);
  if (handle < 0) last_folder_error = errno;
  return handle;
}

void CloseFolderHandle(int& handle) {
  if (handle >= 0) close(handle);
  handle = -1;
}

#endif

}  // namespace

#if defined(_WIN32)

d88::HostRules NameRules() {
  constexpr UINT kShiftJisCodePage = 932;
  return GetACP() == kShiftJisCodePage ? d88::HostRules::kWindows
                                       : d88::HostRules::kWindowsOtherCodePage;
}

bool EnterWorkFolder(const char* path) {
  folder_was_link = false;
  if (!SaveCurrentFolder(start_folder, MAX_PATH * 4)) return false;
  if (path != nullptr) {
    if (!MakeFolderPath(path)) return false;
    if (!SetCurrentDirectoryA(path)) {
      last_folder_error = GetLastError();
      return false;
    }
  }
  return SaveCurrentFolder(work_folder, MAX_PATH * 4);
}

void ReturnToStartFolder() {
  if (start_folder[0] != L'\0') SetCurrentDirectoryW(start_folder);
  start_folder[0] = L'\0';
  work_folder[0] = L'\0';
}

MakeOutcome MakeFolder(const char* name) {
  if (CreateDirectoryA(name, nullptr)) return MakeOutcome::kMade;
  last_folder_error = GetLastError();
  return last_folder_error == ERROR_ALREADY_EXISTS ? MakeOutcome::kExists
                                                   : MakeOutcome::kFailed;
}

bool EnterFolder(const char* name) {
  folder_was_link = false;
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    folder_was_link = true;
    return false;
  }
  if (SetCurrentDirectoryA(name)) return true;
  last_folder_error = GetLastError();
  return false;
}

bool ReturnToWorkFolder() {
  if (SetCurrentDirectoryW(work_folder)) return true;
  folder_was_link = false;
  last_folder_error = GetLastError();
  return false;
}

namespace {

const char* SystemErrorText(DWORD error) {
  static char text[256];
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, text, sizeof text, nullptr);
  if (length == 0) {
    std::snprintf(text, sizeof text, "error %lu",
                  static_cast<unsigned long>(error));
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

}  // namespace

const char* FolderErrorText() {
  if (folder_was_link) return kLinkRefused;
  return SystemErrorText(last_folder_error);
}

namespace {

// Removes a reparse point (a symbolic link or a junction) standing under the
// name, so that the new file takes its place instead of being written where
// it points. A link to a folder goes with RemoveDirectory, which removes the
// link and not the folder.
void RemoveLinkInTheWay(const char* name, const wchar_t* wide) {
  const DWORD attributes = wide != nullptr ? GetFileAttributesW(wide)
                                           : GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return;
  }
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (wide != nullptr && folder) {
    RemoveDirectoryW(wide);
  } else if (wide != nullptr) {
    DeleteFileW(wide);
  } else if (folder) {
    RemoveDirectoryA(name);
  } else {
    DeleteFileA(name);
  }
}

// Made only if nothing at all stands under the name (_O_EXCL is CREATE_NEW):
// what is there, a link included, is neither followed nor removed.
std::FILE* OpenNewForWriting(const char* name, bool utf8_name) {
  constexpr int kFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
  int handle = -1;
  wchar_t wide[MAX_PATH];
  if (!utf8_name) {
    handle = _open(name, kFlags, _S_IREAD | _S_IWRITE);
  } else if (Utf8ToWide(name, wide, MAX_PATH)) {
    handle = _wopen(wide, kFlags, _S_IREAD | _S_IWRITE);
  } else {
    errno = EINVAL;
  }
  if (handle < 0) return nullptr;
  std::FILE* stream = _fdopen(handle, "wb");
  if (stream == nullptr) _close(handle);
  return stream;
}

std::FILE* OpenForWriting(const char* name, bool utf8_name, bool replace) {
  if (!replace) return OpenNewForWriting(name, utf8_name);
  if (!utf8_name) {
    RemoveLinkInTheWay(name, nullptr);
    return std::fopen(name, "wb");
  }
  wchar_t wide[MAX_PATH];
  if (!Utf8ToWide(name, wide, MAX_PATH)) {
    errno = EINVAL;
    return nullptr;
  }
  RemoveLinkInTheWay(name, wide);
  return _wfopen(wide, L"wb");
}

void RemoveFile(const char* name, bool utf8_name) {
  wchar_t wide[MAX_PATH];
  if (!utf8_name) {
    std::remove(name);
  } else if (Utf8ToWide(name, wide, MAX_PATH)) {
    _wremove(wide);
  }
}

// The zeros after the data: the file is lengthened to its size, which the
// host fills with zeros without them being written.
bool ExtendTo(std::FILE* file, std::size_t file_size) {
  if (std::fflush(file) != 0) return false;
  return _chsize_s(_fileno(file), static_cast<__int64>(file_size)) == 0;
}

bool CloseAfterWriting(std::FILE* file, bool written) {
  if (!written) last_file_error = errno;
  if (std::fclose(file) != 0 && written) {
    last_file_error = errno;
    written = false;
  }
  return written;
}

// The volume serial number and file index, which stay the file's own for
// as long as it exists, whatever name or spelling it is reached by.
FileIdentity IdentityOfHandle(HANDLE handle) {
  FileIdentity identity = {};
  BY_HANDLE_FILE_INFORMATION information;
  if (handle == INVALID_HANDLE_VALUE ||
      !GetFileInformationByHandle(handle, &information)) {
    return identity;
  }
  identity.known = true;
  identity.volume = information.dwVolumeSerialNumber;
  identity.index =
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
      information.nFileIndexLow;
  return identity;
}

}  // namespace

bool WriteFile(const char* name, bool utf8_name, const std::uint8_t* data,
               std::size_t data_size, std::size_t file_size,
               Existing existing) {
  written_identity = {};
  std::FILE* file =
      OpenForWriting(name, utf8_name, existing == Existing::kReplace);
  if (file == nullptr) {
    last_file_error = errno;
    return false;
  }
  written_identity = IdentityOfHandle(
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
  // One write of the data; stdio's own buffer would only add a copy.
  std::setvbuf(file, nullptr, _IONBF, 0);
  bool written = std::fwrite(data, 1, data_size, file) == data_size;
  if (written && file_size > data_size) written = ExtendTo(file, file_size);
  if (CloseAfterWriting(file, written)) return true;
  RemoveFile(name, utf8_name);
  return false;
}

FileIdentity IdentifyFile(const char* path, bool utf8_path) {
  wchar_t wide[MAX_PATH];
  if (utf8_path && !Utf8ToWide(path, wide, MAX_PATH)) return {};
  // No access asked for: only the file's information is read, and a file
  // another program holds open can still be looked at.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE handle =
      utf8_path ? CreateFileW(wide, 0, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                : CreateFileA(path, 0, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  const FileIdentity identity = IdentityOfHandle(handle);
  CloseHandle(handle);
  return identity;
}

bool IsTerminal(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  DWORD mode = 0;
  return handle != -1 &&
         GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

void WriteUtf8Text(std::FILE* stream, const char* text) {
  const HANDLE handle =
      GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  static wchar_t wide[4096];
  if (!GetConsoleMode(handle, &mode) || !Utf8ToWide(text, wide, 4096)) {
    std::fputs(text, stream);
    return;
  }
  std::fflush(stream);
  DWORD written = 0;
  WriteConsoleW(handle, wide, static_cast<DWORD>(wcslen(wide)), &written,
                nullptr);
}

void UseBinaryOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

bool BeyondAscii(const wchar_t* text) {
  for (; *text != L'\0'; ++text) {
    if (*text >= 0x80) return true;
  }
  return false;
}

// Whether the wide argument is the one argv holds: the ANSI code page makes
// the same bytes of it. A program handed an argv of its own (a test, a
// fuzzer) keeps it.
bool IsAnsiArgument(const wchar_t* wide, const char* narrow) {
  static char ansi[4096];
  const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi,
                                         sizeof ansi, nullptr, nullptr);
  return length > 0 && std::strcmp(ansi, narrow) == 0;
}

}  // namespace

const char* UnicodeArgument(int argc, char** argv, int index) {
  static char utf8[4096];
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return nullptr;
  const char* found = nullptr;
  if (count == argc && index > 0 && index < count &&
      BeyondAscii(wide[index]) && IsAnsiArgument(wide[index], argv[index]) &&
      wcslen(wide[index]) < sizeof utf8 / 3) {
    d88::Utf16ToUtf8(wide[index], utf8, sizeof utf8);
    found = utf8;
  }
  LocalFree(wide);
  return found;
}

#else

d88::HostRules NameRules() { return d88::HostRules::kPosix; }

bool EnterWorkFolder(const char* path) {
  folder_was_link = false;
  start_folder = OpenCurrentFolder();
  if (start_folder < 0) return false;
  if (path != nullptr) {
    if (!MakeFolderPath(path)) return false;
    if (chdir(path) != 0) {
      last_folder_error = errno;
      return false;
    }
  }
  work_folder = OpenCurrentFolder();
  return work_folder >= 0;
}

void ReturnToStartFolder() {
  if (start_folder >= 0 && fchdir(start_folder) != 0) {
    last_folder_error = errno;
  }
  CloseFolderHandle(start_folder);
  CloseFolderHandle(work_folder);
}

MakeOutcome MakeFolder(const char* name) {
  if (mkdir(name, 0777) == 0) return MakeOutcome::kMade;
  last_folder_error = errno;
  return errno == EEXIST ? MakeOutcome::kExists : MakeOutcome::kFailed;
}

// O_NOFOLLOW refuses a link as the last part of the name, and the handle
// makes the check and the entry one step: nothing can swap the folder for a
// link in between.
bool EnterFolder(const char* name) {
  folder_was_link = false;
  const int handle = open(name, kFolderHandleFlags | O_NOFOLLOW);
  if (handle < 0) {
    last_folder_error = errno;
    struct stat status;
    folder_was_link = lstat(name, &status) == 0 && S_ISLNK(status.st_mode);
    return false;
  }
  const bool entered = fchdir(handle) == 0;
  if (!entered) last_folder_error = errno;
  close(handle);
  return entered;
}

bool ReturnToWorkFolder() {
  folder_was_link = false;
  if (fchdir(work_folder) == 0) return true;
  last_folder_error = errno;
  return false;
}

const char* FolderErrorText() {
  return folder_was_link ? kLinkRefused : std::strerror(last_folder_error);
}

namespace {

// What stands under a name just opened for writing: a plain file of its
// own may be emptied and written; anything else (a FIFO, a device, a hard
// link whose other names, perhaps outside the folder, would change with it)
// is replaced.
enum class Standing { kNewFile, kOwnFile, kOther };

Standing WhatStands(int handle) {
  struct stat status;
  if (fstat(handle, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_nlink != 1) {
    return Standing::kOther;
  }
  return status.st_size == 0 ? Standing::kNewFile : Standing::kOwnFile;
}

// O_NOFOLLOW makes the open fail (ELOOP; EMLINK on some BSDs) on a symbolic
// link under the name instead of writing to wherever it points, and
// O_NONBLOCK keeps a FIFO without a reader from holding the run (ENXIO).
// Whatever stands under the name and is not a plain file of its own is
// removed and the file made anew; O_EXCL then guarantees that the file
// opened is the one just made, not something slipped in between.
// Without replace, whatever stands there is left alone: O_EXCL fails on a
// link too, even one that leads nowhere.
int OpenForWriting(const char* name, bool replace) {
  // Usually nothing stands under the name yet: then a new file needs no
  // further look.
  const int fresh = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW |
                                   O_CLOEXEC, 0666);
  if (fresh >= 0 || errno != EEXIST || !replace) return fresh;
  const int handle = open(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK |
                                    O_CLOEXEC, 0666);
  // O_NONBLOCK means nothing to a plain file, so it may stay set.
  const Standing standing =
      handle >= 0 ? WhatStands(handle) : Standing::kOther;
  if (standing == Standing::kNewFile) return handle;
  if (standing == Standing::kOwnFile) {
    if (ftruncate(handle, 0) == 0) return handle;
    const int error = errno;
    close(handle);
    errno = error;
    return -1;
  }
  if (handle >= 0) {
    close(handle);
  } else if (errno != ELOOP && errno != EMLINK && errno != ENXIO) {
    return -1;
  }
  if (unlink(name) != 0) return -1;
  return open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
              0666);
}

FileIdentity IdentityOfStatus(const struct stat& status) {
  return {true, static_cast<std::uint64_t>(status.st_dev),
          static_cast<std::uint64_t>(status.st_ino)};
}

// The host may take fewer bytes per call than asked (any write above about
// 2 GiB on Linux); the rest follows in further calls.
bool WriteAll(int handle, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(handle, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

// The zeros after the data are not written: the file is lengthened to its
// size, and the file system, where it can, keeps them as a hole that takes
// no room on the disk.
bool WriteFile(const char* name, bool, const std::uint8_t* data,
               std::size_t data_size, std::size_t file_size,
               Existing existing) {
  written_identity = {};
  const int handle = OpenForWriting(name, existing == Existing::kReplace);
  if (handle < 0) {
    last_file_error = errno;
    return false;
  }
  struct stat status;
  if (fstat(handle, &status) == 0) written_identity = IdentityOfStatus(status);
  bool written = WriteAll(handle, data, data_size) &&
                 (file_size <= data_size ||
                  ftruncate(handle, static_cast<off_t>(file_size)) == 0);
  if (!written) last_file_error = errno;
  if (close(handle) != 0 && written) {
    last_file_error = errno;
    written = false;
  }
  if (!written) unlink(name);
  return written;
}

FileIdentity IdentifyFile(const char* path, bool) {
  struct stat status;
  if (stat(path, &status) != 0) return {};
  return IdentityOfStatus(status);
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void WriteUtf8Text(std::FILE* stream, const char* text) {
  std::fputs(text, stream);
}

void UseBinaryOutput() {}

// POSIX hands the program the bytes typed: there is no other spelling.
const char* UnicodeArgument(int, char**, int) { return nullptr; }

#endif

FileIdentity WrittenFileIdentity() { return written_identity; }
bool FileWasInTheWay() { return last_file_error == EEXIST; }

const char* FileErrorText() {
#if defined(_WIN32)
  if (last_file_system_error != 0) {
    return SystemErrorText(last_file_system_error);
  }
#endif
  if (file_was_read_only) return kReadOnlyRefused;
  return std::strerror(last_file_error);
}

}  // namespace host

// --- Reading host files back and replacing a file as a whole. ---

namespace host {
namespace {

void ClearFileError() {
  last_file_error = 0;
  file_was_read_only = false;
#if defined(_WIN32)
  last_file_system_error = 0;
#endif
}

// The temporary file sits in the same folder as the file it replaces: a
// rename within one folder is a single step on every host, never a copy.
constexpr char kTempSuffix[] = ".d88unpack-tmp";

// The first try is target + ".d88unpack-tmp", then "-2", "-3" and so on.
bool MakeTempName(const char* path, int attempt, char* dest,
                  std::size_t capacity) {
  const int written =
      attempt == 1
          ? std::snprintf(dest, capacity, "%s%s", path, kTempSuffix)
          : std::snprintf(dest, capacity, "%s%s-%d", path, kTempSuffix, attempt);
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

bool CopyPath(const char* path, char* dest, std::size_t capacity) {
  const int written = std::snprintf(dest, capacity, "%s", path);
  if (written >= 0 && static_cast<std::size_t>(written) < capacity) {
    return true;
  }
  errno = ENAMETOOLONG;
  return false;
}

#if defined(_WIN32)

std::FILE* OpenForReading(const char* name, bool utf8_name) {
  if (!utf8_name) return std::fopen(name, "rb");
  wchar_t wide[MAX_PATH];
  if (!Utf8ToWide(name, wide, MAX_PATH)) {
    errno = EINVAL;
    return nullptr;
  }
  return _wfopen(wide, L"rb");
}

bool IsReadOnly(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    last_file_system_error = GetLastError();
    return true;
  }
  file_was_read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return file_was_read_only;
}

// Created only if no file of that name exists, so that nothing the run did
// not make is ever written over or removed.
std::FILE* CreateNewFile(const char* path, const char*) {
  const int handle = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
  if (handle < 0) return nullptr;
  std::FILE* stream = _fdopen(handle, "wb");
  if (stream == nullptr) _close(handle);
  return stream;
}

bool FlushToDisk(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

bool RenameOver(const char* from, const char* to) {
  wchar_t wide_from[MAX_PATH * 4];
  wchar_t wide_to[MAX_PATH * 4];
  if (MultiByteToWideChar(CP_ACP, 0, from, -1, wide_from, MAX_PATH * 4) <= 0 ||
      MultiByteToWideChar(CP_ACP, 0, to, -1, wide_to, MAX_PATH * 4) <= 0 ||
      !MoveFileExW(wide_from, wide_to,
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    last_file_system_error = GetLastError();
    return false;
  }
  return true;
}

// Windows links are not followed: the path is replaced as it is named.
bool ResolveTarget(const char* path, char* dest, std::size_t capacity) {
  return CopyPath(path, dest, capacity);
}

// MOVEFILE_WRITE_THROUGH already returns only once the rename is on the
// disk.
void FlushFolderOf(const char*) {}

#else

std::FILE* OpenForReading(const char* name, bool) {
  return std::fopen(name, "rb");
}

// Root may write to any file, so the permission bits are looked at as well:
// an image whose owner took away every write bit is not to be replaced.
bool IsReadOnly(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0) {
    last_file_error = errno;
    return true;
  }
  file_was_read_only =
      (status.st_mode & 0222) == 0 || access(path, W_OK) != 0;
  return file_was_read_only;
}

// Created only if no file of that name exists, so that nothing the run did
// not make is ever written over or removed; it takes the permissions of the
// file it is to replace.
std::FILE* CreateNewFile(const char* path, const char* model) {
  const int handle = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (handle < 0) return nullptr;
  struct stat status;
  if (stat(model, &status) == 0) fchmod(handle, status.st_mode & 07777);
  std::FILE* stream = fdopen(handle, "wb");
  if (stream == nullptr) close(handle);
  return stream;
}

bool FlushToDisk(std::FILE* stream) { return fsync(fileno(stream)) == 0; }

bool RenameOver(const char* from, const char* to) {
  if (std::rename(from, to) == 0) return true;
  last_file_error = errno;
  return false;
}

// A symbolic link is followed to the file it leads to (through any chain
// of links), so that the rename replaces that file and leaves the link a
// link. Anything else is replaced as it is named, so that the messages
// keep the path as the user gave it.
bool ResolveTarget(const char* path, char* dest, std::size_t capacity) {
  struct stat status;
  if (lstat(path, &status) != 0 || !S_ISLNK(status.st_mode)) {
    return CopyPath(path, dest, capacity);
  }
  static char resolved[PATH_MAX];
  if (realpath(path, resolved) == nullptr) return false;
  return CopyPath(resolved, dest, capacity);
}

// The rename is a change to the folder, which the host may keep in memory
// for a while: until the folder is flushed too, a power loss can bring the
// old file back under the name. The rename is done by then and cannot be
// undone, so a host that cannot flush a folder (some network file systems
// refuse) does not make the replacement fail.
void FlushFolderOf(const char* path) {
  char folder[4096];
  std::snprintf(folder, sizeof folder, "%s", path);
  char* last_separator = std::strrchr(folder, '/');
  if (last_separator == nullptr) {
    std::snprintf(folder, sizeof folder, ".");
  } else {
    last_separator[last_separator == folder ? 1 : 0] = '\0';
  }
  const int handle = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return;
  fsync(handle);
  close(handle);
}

#endif

}  // namespace

HostFileRead ReadWholeFile(const char* path, bool utf8_path,
                           std::uint8_t* dest, std::size_t capacity) {
  ClearFileError();
  std::FILE* file = OpenForReading(path, utf8_path);
  if (file == nullptr) {
    last_file_error = errno;
    const bool absent = errno == ENOENT || errno == ENOTDIR;
    return {absent ? ReadOutcome::kAbsent : ReadOutcome::kFailed, 0};
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  HostFileRead read = {ReadOutcome::kRead, std::fread(dest, 1, capacity, file)};
  if (std::ferror(file)) {
    last_file_error = errno;
    read.outcome = ReadOutcome::kFailed;
  } else if (read.size == capacity && std::fgetc(file) != EOF) {
    read.outcome = ReadOutcome::kTooLong;
  }
  std::fclose(file);
  return read;
}

bool IsFolder(const char* path) {
#if defined(_WIN32)
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  struct stat status;
  return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

#if defined(_WIN32)

namespace {

constexpr DWORD kNotPlainFile = FILE_ATTRIBUTE_DIRECTORY |
                                FILE_ATTRIBUTE_REPARSE_POINT |
                                FILE_ATTRIBUTE_DEVICE;

// The wide calls give every name as the file system holds it; the ANSI
// ones give names in the system code page, as the raw names went out.
bool ListWide(const char* path, FileVisitor visit, void* context) {
  wchar_t pattern[MAX_PATH * 4];
  char name[MAX_PATH * 3 + 1];
  char query[MAX_PATH * 4];
  std::snprintf(query, sizeof query, "%s\\*", path);
  if (!Utf8ToWide(query, pattern, MAX_PATH * 4)) return false;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    if ((found.dwFileAttributes & kNotPlainFile) != 0) continue;
    d88::Utf16ToUtf8(found.cFileName, name, sizeof name);
    visit(context, name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

bool ListAnsi(const char* path, FileVisitor visit, void* context) {
  char pattern[MAX_PATH * 4];
  std::snprintf(pattern, sizeof pattern, "%s\\*", path);
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    if ((found.dwFileAttributes & kNotPlainFile) != 0) continue;
    visit(context, found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

}  // namespace

bool ListPlainFiles(const char* path, bool utf8_names, FileVisitor visit,
                    void* context) {
  return utf8_names ? ListWide(path, visit, context)
                    : ListAnsi(path, visit, context);
}

#else

// lstat, not stat: a link is passed over, whatever it points to.
bool ListPlainFiles(const char* path, bool, FileVisitor visit, void* context) {
  DIR* folder = opendir(path);
  if (folder == nullptr) return false;
  char item[4200];
  for (const dirent* entry = readdir(folder); entry != nullptr;
       entry = readdir(folder)) {
    std::snprintf(item, sizeof item, "%s/%s", path, entry->d_name);
    struct stat status;
    if (lstat(item, &status) == 0 && S_ISREG(status.st_mode)) {
      visit(context, entry->d_name);
    }
  }
  closedir(folder);
  return true;
}

#endif

Replacement StartReplacement(const char* path) {
  Replacement replacement = {};
  ClearFileError();
  if (!ResolveTarget(path, replacement.target_path,
                     sizeof replacement.target_path)) {
    last_file_error = errno;
    return replacement;
  }
  const char* target = replacement.target_path;
  if (IsReadOnly(target)) return replacement;
  // Each name is created exclusively, so no two runs ever hold the same
  // one; a name that is taken (another run's, or one a killed run left)
  // is passed over for the next.
  constexpr int kTempAttempts = 1000;
  for (int attempt = 1; attempt <= kTempAttempts; ++attempt) {
    if (!MakeTempName(target, attempt, replacement.temp_path,
                      sizeof replacement.temp_path)) {
      last_file_error = ENAMETOOLONG;
      return replacement;
    }
    replacement.stream = CreateNewFile(replacement.temp_path, target);
    if (replacement.stream != nullptr) return replacement;
    last_file_error = errno;
    if (errno != EEXIST) break;
  }
  return replacement;
}

// Every step must succeed before the rename: a new file that is not wholly
// on the disk must never take the old one's place.
bool FinishReplacement(const Replacement& replacement, const char*) {
  ClearFileError();
  bool done = std::fflush(replacement.stream) == 0;
  if (!done) last_file_error = errno;
  if (done && !FlushToDisk(replacement.stream)) {
    last_file_error = errno;
    done = false;
  }
  if (std::fclose(replacement.stream) != 0 && done) {
    last_file_error = errno;
    done = false;
  }
  if (done) done = RenameOver(replacement.temp_path, replacement.target_path);
  if (!done) {
    std::remove(replacement.temp_path);
    return false;
  }
  FlushFolderOf(replacement.target_path);
  return true;
}

void AbandonReplacement(const Replacement& replacement) {
  const int error = last_file_error;
  std::fclose(replacement.stream);
  std::remove(replacement.temp_path);
  last_file_error = error;
}

}  // namespace host

// --- A text file written piece by piece, and colour on a console. ---

namespace host {

// The file is opened in binary, so that it holds the same bytes on every
// host; the path is taken as the user typed it.
std::FILE* StartTextFile(const char* path) {
  ClearFileError();
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) last_file_error = errno != 0 ? errno : EIO;
  return file;
}

bool FinishTextFile(std::FILE* file, const char* path) {
  bool written = std::ferror(file) == 0;
  if (!written) last_file_error = errno != 0 ? errno : EIO;
  if (std::fclose(file) != 0 && written) {
    last_file_error = errno != 0 ? errno : EIO;
    written = false;
  }
  if (!written) std::remove(path);
  return written;
}

#if defined(_WIN32)
// A Windows console shows colour codes only once asked to; older consoles
// refuse, and then show them as text.
bool EnableColorCodes(std::FILE* stream) {
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
  constexpr DWORD ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x0004;
#endif
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  DWORD mode = 0;
  if (handle == -1 ||
      GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) == 0) {
    return true;  // a file or a pipe
  }
  return SetConsoleMode(reinterpret_cast<HANDLE>(handle),
                        mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
#else
bool EnableColorCodes(std::FILE*) { return true; }
#endif

}  // namespace host
