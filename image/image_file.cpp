#include "image_file.h"

#include <cerrno>
#include <cstring>

#include "file_seek.h"

#if defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace d88 {
namespace {

// The position of the end of the file, or -1 when the host cannot tell.
std::int64_t EndPosition(std::FILE* stream) {
#if defined(_WIN32)
  if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  return _ftelli64(stream);
#else
  if (fseeko(stream, 0, SEEK_END) != 0) return -1;
  return static_cast<std::int64_t>(ftello(stream));
#endif
}

// The reader seeks all over the image, so only something that holds still
// under seeks will do: a regular file, or on POSIX hosts a block device (a
// disk read directly). Anything else (a FIFO, a terminal, a socket, a
// character device) is refused with ESPIPE, "Illegal seek"; a folder, with
// EISDIR.
int UnseekableError(bool is_folder, bool is_regular, bool is_block) {
  if (is_folder) return EISDIR;
  return is_regular || is_block ? 0 : ESPIPE;
}

#if defined(_WIN32)

std::FILE* OpenForReading(const char* path) {
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) return nullptr;
  struct _stat64 status;
  const int error =
      _fstat64(_fileno(stream), &status) != 0
          ? errno
          : UnseekableError((status.st_mode & _S_IFMT) == _S_IFDIR,
                            (status.st_mode & _S_IFMT) == _S_IFREG, false);
  if (error == 0) return stream;
  std::fclose(stream);
  errno = error;
  return nullptr;
}

#else

// Zero when the open handle is something the reader can use; otherwise the
// errno value that says why not. Reads block again from here on.
int SeekableError(int handle) {
  struct stat status;
  if (fstat(handle, &status) != 0) return errno;
  const int error = UnseekableError(S_ISDIR(status.st_mode),
                                    S_ISREG(status.st_mode),
                                    S_ISBLK(status.st_mode));
  if (error != 0) return error;
  const int flags = fcntl(handle, F_GETFL);
  if (flags < 0 || fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return errno;
  }
  return 0;
}

// A FIFO opened for reading waits for a writer; O_NONBLOCK makes the open
// return at once, so that fstat can tell what it is before anything waits.
std::FILE* OpenForReading(const char* path) {
  const int handle = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) return nullptr;
  const int error = SeekableError(handle);
  std::FILE* stream = error == 0 ? fdopen(handle, "rb") : nullptr;
  if (stream != nullptr) return stream;
  const int reason = error != 0 ? error : errno;
  close(handle);
  errno = reason;
  return nullptr;
}

#endif

}  // namespace

ImageFile::~ImageFile() { Close(); }

bool ImageFile::Open(const char* path) {
  Close();
  if (path == nullptr) return false;
  stream_ = OpenForReading(path);
  if (stream_ == nullptr) {
    open_error_ = errno;
    return false;
  }
  // The window does the buffering; a second buffer in stdio would only copy
  // every byte once more.
  std::setvbuf(stream_, nullptr, _IONBF, 0);
  // A file that opens but cannot be read is one that cannot be opened.
  if (!FillWindow(0) && std::ferror(stream_)) {
    open_error_ = errno;
    Close();
    return false;
  }
  return true;
}

void ImageFile::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  window_start_ = 0;
  window_length_ = 0;
}

std::int32_t ImageFile::ReadAt(std::int64_t position, std::uint8_t* dest,
                               std::int32_t length, std::int64_t keep_from) {
  if (stream_ == nullptr || position < 0 || length <= 0) return 0;
  if (length > kWindowSize) return ReadFromHost(position, dest, length);
  if (!InWindow(position, length) &&
      !FillWindow(RefillStart(position, length, keep_from))) {
    return 0;
  }
  const std::int64_t skip = position - window_start_;
  const std::int64_t available = window_length_ - skip;
  // A refill from before position may end before it: the file is shorter.
  if (available <= 0) return 0;
  const std::int32_t count =
      static_cast<std::int32_t>(available < length ? available : length);
  std::memcpy(dest, window_ + skip, static_cast<std::size_t>(count));
  return count;
}

// Every host read seeks first, so leaving the stream at the end is harmless.
std::int64_t ImageFile::Size() {
  if (stream_ == nullptr) return -1;
  return EndPosition(stream_);
}

std::int32_t ImageFile::ReadAtOnly(std::int64_t position, std::uint8_t* dest,
                                   std::int32_t length) {
  if (stream_ == nullptr || position < 0 || length <= 0) return 0;
  if (InWindow(position, length)) return ReadAt(position, dest, length);
  return ReadFromHost(position, dest, length);
}

bool ImageFile::InWindow(std::int64_t position, std::int32_t length) const {
  return position >= window_start_ &&
         position + length <= window_start_ + window_length_;
}

std::int64_t ImageFile::RefillStart(std::int64_t position, std::int32_t length,
                                    std::int64_t keep_from) {
  const bool worth_keeping =
      keep_from >= 0 && keep_from <= position &&
      position - keep_from <= kWindowSize / 2 &&
      position + length - keep_from <= kWindowSize;
  return worth_keeping ? keep_from : position;
}

// Refills the window from position on. Returns false when nothing could be
// read there; the window is then empty.
bool ImageFile::FillWindow(std::int64_t position) {
  window_start_ = position;
  window_length_ = ReadFromHost(position, window_, kWindowSize);
  return window_length_ > 0;
}

std::int32_t ImageFile::ReadFromHost(std::int64_t position, std::uint8_t* dest,
                                     std::int32_t length) {
  if (!SeekTo(stream_, position)) return 0;
  const std::size_t got =
      std::fread(dest, 1, static_cast<std::size_t>(length), stream_);
  return static_cast<std::int32_t>(got);
}

}  // namespace d88
