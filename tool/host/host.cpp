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
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>

// Emscripten's own streams all claim to be terminals. Under Node the answer
// is Node's, about the process's real descriptor; a page has no terminal.
EM_JS(int, d88unpack_is_terminal, (int descriptor), {
  if (typeof process != 'object' || !process.versions ||
      !process.versions.node) {
    return 0;
  }
  // On the real file system each stream writes to a descriptor of Node's.
  var stream = typeof FS == 'object' ? FS.streams[descriptor] : null;
  var own = stream && stream.nfd !== undefined ? stream.nfd : descriptor;
  return require('tty').isatty(own) ? 1 : 0;
});
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

// Room for any path the wide calls take, in UTF-16 units.
constexpr int kWidePath = MAX_PATH * 4;

wchar_t start_folder[kWidePath];
wchar_t work_folder[kWidePath];

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

// A raw name is bytes in the ANSI code page: read here as the ANSI calls
// would read it, so that it names the same file through the wide calls.
bool AnsiToWide(const char* text, wchar_t* dest, int capacity) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, dest, capacity) > 0;
}

bool NameToWide(const char* name, bool utf8_name, wchar_t* dest,
                int capacity) {
  return utf8_name ? Utf8ToWide(name, dest, capacity)
                   : AnsiToWide(name, dest, capacity);
}

// The exact bytes of the wide text in the ANSI code page, or false. The
// conversion back must give the very same text: a best-fit letter ("a" for
// "ā") or the default character would name something else.
bool WideToAnsiExactly(const wchar_t* wide, char* dest, std::size_t capacity) {
  if (GetACP() == CP_UTF8) {  // every character has its bytes there
    if (3 * wcslen(wide) + 1 > capacity) return false;
    d88::Utf16ToUtf8(wide, dest, capacity);
    return true;
  }
  BOOL defaulted = FALSE;
  const int length = WideCharToMultiByte(
      CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, dest,
      capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity), nullptr,
      &defaulted);
  if (length <= 0 || defaulted) return false;
  wchar_t back[kWidePath];
  return AnsiToWide(dest, back, kWidePath) && wcscmp(back, wide) == 0;
}

// A folder path for the wide calls; on failure GetLastError says why.
bool WideFolderPath(const char* path, wchar_t* dest) {
  if (Utf8ToWide(path, dest, kWidePath)) return true;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return false;
}
#elif defined(__EMSCRIPTEN__)

// Emscripten's file systems cannot enter a folder through a handle opened
// on it (fchdir on a handle to "." leads nowhere), so the two folders the
// run returns to are kept as absolute paths. Nothing else runs in the page
// or in the Node process meanwhile to move a folder under the run.
char start_folder[4096];
char work_folder[4096];

bool SaveCurrentFolder(char* dest, std::size_t capacity) {
  if (getcwd(dest, capacity) != nullptr) return true;
  last_folder_error = errno;
  dest[0] = '\0';
  return false;
}

bool EnterPath(const char* path) {
  if (chdir(path) == 0) return true;
  last_folder_error = errno;
  return false;
}

// Standard output is written in large blocks: the page collects it through
// a call per write, and Node makes a system call of each. Line buffering,
// which Emscripten's terminal device would ask for, costs a call per line.
char output_buffer[64 * 1024];
struct FullyBufferedOutput {
  FullyBufferedOutput() {
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
  }
} fully_buffered_output;

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
  if (!SaveCurrentFolder(start_folder, kWidePath)) return false;
  if (path != nullptr) {
    if (!MakeFolderPath(path)) return false;
    wchar_t wide[kWidePath];
    if (!WideFolderPath(path, wide) || !SetCurrentDirectoryW(wide)) {
      last_folder_error = GetLastError();
      return false;
    }
  }
  return SaveCurrentFolder(work_folder, kWidePath);
}

void ReturnToStartFolder() {
  if (start_folder[0] != L'\0') SetCurrentDirectoryW(start_folder);
  start_folder[0] = L'\0';
  work_folder[0] = L'\0';
}

MakeOutcome MakeFolder(const char* name) {
  wchar_t wide[kWidePath];
  if (WideFolderPath(name, wide) && CreateDirectoryW(wide, nullptr)) {
    return MakeOutcome::kMade;
  }
  last_folder_error = GetLastError();
  return last_folder_error == ERROR_ALREADY_EXISTS ? MakeOutcome::kExists
                                                   : MakeOutcome::kFailed;
}

bool EnterFolder(const char* name) {
  folder_was_link = false;
  wchar_t wide[kWidePath];
  if (!WideFolderPath(name, wide)) {
    last_folder_error = GetLastError();
    return false;
  }
  const DWORD attributes = GetFileAttributesW(wide);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    folder_was_link = true;
    return false;
  }
  if (SetCurrentDirectoryW(wide)) return true;
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
void RemoveLinkInTheWay(const wchar_t* name) {
  const DWORD attributes = GetFileAttributesW(name);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    RemoveDirectoryW(name);
  } else {
    DeleteFileW(name);
  }
}

// Made only if nothing at all stands under the name (_O_EXCL is CREATE_NEW):
// what is there, a link included, is neither followed nor removed.
std::FILE* OpenNewForWriting(const wchar_t* name) {
  const int handle = _wopen(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                            _S_IREAD | _S_IWRITE);
  if (handle < 0) return nullptr;
  std::FILE* stream = _fdopen(handle, "wb");
  if (stream == nullptr) _close(handle);
  return stream;
}

std::FILE* OpenForWriting(const wchar_t* name, bool replace) {
  if (!replace) return OpenNewForWriting(name);
  RemoveLinkInTheWay(name);
  return _wfopen(name, L"wb");
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
  wchar_t wide[kWidePath];
  if (!NameToWide(name, utf8_name, wide, kWidePath)) {
    last_file_error = ENAMETOOLONG;
    return false;
  }
  std::FILE* file = OpenForWriting(wide, existing == Existing::kReplace);
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
  _wremove(wide);
  return false;
}

FileIdentity IdentifyFile(const char* path) {
  wchar_t wide[kWidePath];
  if (!Utf8ToWide(path, wide, kWidePath)) return {};
  // No access asked for: only the file's information is read, and a file
  // another program holds open can still be looked at.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE handle = CreateFileW(wide, 0, share, nullptr, OPEN_EXISTING,
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

namespace {

// Whether standard output and standard error are consoles, asked once: a
// listing writes a line at a time, and asking the system for each would
// cost more than the writing.
enum class Console { kUnknown, kYes, kNo };
Console console_of[2] = {Console::kUnknown, Console::kUnknown};

bool IsConsoleStream(std::FILE* stream) {
  Console& known = console_of[stream == stderr ? 1 : 0];
  if (known == Console::kUnknown) {
    known = IsTerminal(stream) ? Console::kYes : Console::kNo;
  }
  return known == Console::kYes;
}

}  // namespace

void WriteUtf8Text(std::FILE* stream, const char* text) {
  static wchar_t wide[4096];
  if (!IsConsoleStream(stream) || !Utf8ToWide(text, wide, 4096)) {
    std::fputs(text, stream);
    return;
  }
  std::fflush(stream);
  const HANDLE handle =
      GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteConsoleW(handle, wide, static_cast<DWORD>(wcslen(wide)), &written,
                nullptr);
}

void UseBinaryOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

// Room for the whole command line as UTF-8: Windows allows 32767 UTF-16
// units, and each gives at most three bytes.
constexpr std::size_t kCommandLineBytes = 3 * 32768;
constexpr int kMaxArguments = 16384;  // each takes a character and a space
char argument_text[kCommandLineBytes];
char* argument_values[kMaxArguments + 1];

// The wide arguments as UTF-8 in argument_text; false when they do not fit.
bool KeepArguments(wchar_t** wide, int count) {
  std::size_t used = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t room = sizeof argument_text - used;
    if (count > kMaxArguments || 3 * wcslen(wide[i]) + 1 > room) return false;
    argument_values[i] = argument_text + used;
    used += d88::Utf16ToUtf8(wide[i], argument_values[i], room) + 1;
  }
  argument_values[count] = nullptr;
  return true;
}

}  // namespace

Arguments CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argc, argv};
  const bool kept = KeepArguments(wide, count);
  LocalFree(wide);
  if (!kept) return {argc, argv};
  return {count, argument_values};
}

bool TypedTextAsRaw(const char* text, char* dest, std::size_t capacity) {
  wchar_t wide[kWidePath];
  return Utf8ToWide(text, wide, kWidePath) &&
         WideToAnsiExactly(wide, dest, capacity);
}

bool NameInPath(const char* name, bool utf8_name, char* dest,
                std::size_t capacity) {
  wchar_t wide[kWidePath];
  if (utf8_name || !AnsiToWide(name, wide, kWidePath)) {
    const int written = std::snprintf(dest, capacity, "%s", name);
    return written >= 0 && static_cast<std::size_t>(written) < capacity;
  }
  if (3 * wcslen(wide) + 1 > capacity) return false;
  d88::Utf16ToUtf8(wide, dest, capacity);
  return true;
}

// The runtime leaves standard output without a buffer, and the C++
// runtime's printf hands it a character at a time: every byte became a
// write of its own. With a buffer, a file or a pipe gets whole blocks; a
// console gets whole lines, as the report layer flushes each one there.
void BufferStandardOutput() {
  static char buffer[64 * 1024];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

#else

d88::HostRules NameRules() { return d88::HostRules::kPosix; }

MakeOutcome MakeFolder(const char* name) {
  if (mkdir(name, 0777) == 0) return MakeOutcome::kMade;
  last_folder_error = errno;
  return errno == EEXIST ? MakeOutcome::kExists : MakeOutcome::kFailed;
}

#if defined(__EMSCRIPTEN__)

bool EnterWorkFolder(const char* path) {
  folder_was_link = false;
  if (!SaveCurrentFolder(start_folder, sizeof start_folder)) return false;
  if (path != nullptr && (!MakeFolderPath(path) || !EnterPath(path))) {
    return false;
  }
  return SaveCurrentFolder(work_folder, sizeof work_folder);
}

void ReturnToStartFolder() {
  if (start_folder[0] != '\0') EnterPath(start_folder);
  start_folder[0] = '\0';
  work_folder[0] = '\0';
}

// Without a handle the look and the entry are two steps; nothing else runs
// in between to swap the folder for a link.
bool EnterFolder(const char* name) {
  folder_was_link = false;
  struct stat status;
  if (lstat(name, &status) == 0 && S_ISLNK(status.st_mode)) {
    folder_was_link = true;
    return false;
  }
  return EnterPath(name);
}

bool ReturnToWorkFolder() {
  folder_was_link = false;
  return EnterPath(work_folder);
}

#else

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

#endif

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

FileIdentity IdentifyFile(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0) return {};
  return IdentityOfStatus(status);
}

#if defined(__EMSCRIPTEN__)

bool IsTerminal(std::FILE* stream) {
  return d88unpack_is_terminal(fileno(stream)) != 0;
}

#else

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif

void WriteUtf8Text(std::FILE* stream, const char* text) {
  std::fputs(text, stream);
}

void UseBinaryOutput() {}

// POSIX hands the program the bytes typed: there is no other spelling.
Arguments CommandLineArguments(int argc, char** argv) { return {argc, argv}; }

namespace {

bool CopyText(const char* text, char* dest, std::size_t capacity) {
  const int written = std::snprintf(dest, capacity, "%s", text);
  return written >= 0 && static_cast<std::size_t>(written) < capacity;
}

}  // namespace

bool TypedTextAsRaw(const char* text, char* dest, std::size_t capacity) {
  return CopyText(text, dest, capacity);
}

bool NameInPath(const char* name, bool, char* dest, std::size_t capacity) {
  return CopyText(name, dest, capacity);
}

// The C library buffers a file or a pipe in blocks and a terminal by line.
void BufferStandardOutput() {}

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

// Every path below is host text, which on Windows is UTF-8 for the wide
// calls; ENAMETOOLONG when it does not fit them.
bool WidePath(const char* path, wchar_t* dest) {
  if (Utf8ToWide(path, dest, kWidePath)) return true;
  errno = ENAMETOOLONG;
  return false;
}

std::FILE* OpenPath(const char* path, const wchar_t* mode) {
  wchar_t wide[kWidePath];
  return WidePath(path, wide) ? _wfopen(wide, mode) : nullptr;
}

std::FILE* OpenForReading(const char* path) { return OpenPath(path, L"rb"); }

std::FILE* OpenForWriting(const char* path) { return OpenPath(path, L"wb"); }

void RemovePath(const char* path) {
  wchar_t wide[kWidePath];
  if (WidePath(path, wide)) _wremove(wide);
}

bool IsReadOnly(const char* path) {
  wchar_t wide[kWidePath];
  const DWORD attributes = WidePath(path, wide) ? GetFileAttributesW(wide)
                                                : INVALID_FILE_ATTRIBUTES;
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
  wchar_t wide[kWidePath];
  return WidePath(path, wide) ? OpenNewForWriting(wide) : nullptr;
}

bool FlushToDisk(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

bool RenameOver(const char* from, const char* to) {
  wchar_t wide_from[kWidePath];
  wchar_t wide_to[kWidePath];
  if (!Utf8ToWide(from, wide_from, kWidePath) ||
      !Utf8ToWide(to, wide_to, kWidePath)) {
    last_file_error = ENAMETOOLONG;
    return false;
  }
  if (!MoveFileExW(wide_from, wide_to,
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

std::FILE* OpenForReading(const char* path) { return std::fopen(path, "rb"); }

std::FILE* OpenForWriting(const char* path) { return std::fopen(path, "wb"); }

void RemovePath(const char* path) { std::remove(path); }

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

HostFileRead ReadWholeFile(const char* path, std::uint8_t* dest,
                           std::size_t capacity) {
  ClearFileError();
  std::FILE* file = OpenForReading(path);
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
  wchar_t wide[kWidePath];
  const DWORD attributes = Utf8ToWide(path, wide, kWidePath)
                               ? GetFileAttributesW(wide)
                               : INVALID_FILE_ATTRIBUTES;
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

// The name as the visitor takes it: UTF-8, or the exact bytes of the ANSI
// code page. False for a raw name that code page cannot spell.
bool VisitorName(const wchar_t* found, bool utf8_names, char* dest,
                 std::size_t capacity) {
  if (!utf8_names) return WideToAnsiExactly(found, dest, capacity);
  d88::Utf16ToUtf8(found, dest, capacity);
  return true;
}

}  // namespace

bool ListPlainFiles(const char* path, bool utf8_names, FileVisitor visit,
                    void* context) {
  wchar_t pattern[kWidePath];
  char query[kWidePath];
  const int length = std::snprintf(query, sizeof query, "%s\\*", path);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof query ||
      !Utf8ToWide(query, pattern, kWidePath)) {
    return false;
  }
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  char name[MAX_PATH * 3 + 1];
  do {
    if ((found.dwFileAttributes & kNotPlainFile) != 0) continue;
    if (VisitorName(found.cFileName, utf8_names, name, sizeof name)) {
      visit(context, name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
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
    RemovePath(replacement.temp_path);
    return false;
  }
  FlushFolderOf(replacement.target_path);
  return true;
}

void AbandonReplacement(const Replacement& replacement) {
  const int error = last_file_error;
  std::fclose(replacement.stream);
  RemovePath(replacement.temp_path);
  last_file_error = error;
}

}  // namespace host

// --- A text file written piece by piece, and colour on a console. ---

namespace host {

// The file is opened in binary, so that it holds the same bytes on every
// host; the path is taken as the user typed it.
std::FILE* StartTextFile(const char* path) {
  ClearFileError();
  std::FILE* file = OpenForWriting(path);
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
  if (!written) RemovePath(path);
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
