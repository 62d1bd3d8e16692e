#include "image_file.h"

#include <cerrno>
#include <cstring>

#include "file_open.h"
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
  std::FILE* stream = OpenBinaryForReading(path);
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
  host_read_calls_ = 0;
  host_read_bytes_ = 0;
  // The pages do the buffering; a second buffer in stdio would only copy
  // every byte once more.
  std::setvbuf(stream_, nullptr, _IONBF, 0);
  // A file that opens but cannot be read is one that cannot be opened.
  if (PageHolding(0) < 0 && std::ferror(stream_)) {
    open_error_ = errno;
    Close();
    return false;
  }
  return true;
}

void ImageFile::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  ForgetPages();
}

void ImageFile::ForgetPages() {
  for (Page& page : pages_) page = {-1, 0, 0};
  read_ahead_at_ = -1;
  read_ahead_pages_ = 0;
  end_seen_ = false;
  end_ = 0;
}

std::int32_t ImageFile::ReadAt(std::int64_t position, std::uint8_t* dest,
                               std::int32_t length) {
  if (stream_ == nullptr || position < 0 || length <= 0) return 0;
  if (length > kPageSize) return ReadFromHost(position, dest, length);
  std::int32_t done = 0;
  while (done < length) {
    const std::int64_t at = position + done;
    const int index = PageHolding(at);
    if (index < 0) break;
    const Page& page = pages_[index];
    const std::int64_t skip = at - page.start;
    // A page cut short by the end of the file may end before position.
    if (skip >= page.length) break;
    const std::int64_t left = length - done;
    const std::int64_t available = page.length - skip;
    const auto count =
        static_cast<std::int32_t>(available < left ? available : left);
    std::memcpy(dest + done, bytes_[index] + skip,
                static_cast<std::size_t>(count));
    done += count;
  }
  return done;
}

// Every host read seeks first, so leaving the stream at the end is harmless.
std::int64_t ImageFile::Size() {
  if (stream_ == nullptr) return -1;
  return EndPosition(stream_);
}

std::int32_t ImageFile::ReadAtOnly(std::int64_t position, std::uint8_t* dest,
                                   std::int32_t length) {
  if (stream_ == nullptr || position < 0 || length <= 0) return 0;
  if (Holds(position, length)) return ReadAt(position, dest, length);
  return ReadFromHost(position, dest, length);
}

// True when every byte asked for lies in pages already read; a read never
// spans more than two pages when it is no longer than one.
bool ImageFile::Holds(std::int64_t position, std::int32_t length) const {
  if (length > kPageSize) return false;
  const std::int64_t first = position / kPageSize * kPageSize;
  const std::int64_t last = (position + length - 1) / kPageSize * kPageSize;
  return FindPage(first) >= 0 && FindPage(last) >= 0;
}

// Most reads are served from the page the read before them was.
int ImageFile::FindPage(std::int64_t start) const {
  if (pages_[last_page_].start == start) return last_page_;
  const int hint = hints_[start / kPageSize % kHints];
  if (pages_[hint].start == start) return hint;
  for (int i = 0; i < kPageCount; ++i) {
    if (pages_[i].start == start) return i;
  }
  return -1;
}

int ImageFile::LeastRecentPage() const {
  int oldest = 0;
  for (int i = 1; i < kPageCount; ++i) {
    if (pages_[i].last_use < pages_[oldest].last_use) oldest = i;
  }
  return oldest;
}

// The page that holds position, read from the host when no page does.
// Returns -1 when nothing could be read there.
int ImageFile::PageHolding(std::int64_t position) {
  const std::int64_t start = position / kPageSize * kPageSize;
  int index = FindPage(start);
  if (index < 0) index = FillPages(start);
  if (index < 0) return -1;
  pages_[index].last_use = ++clock_;
  last_page_ = index;
  return index;
}

bool ImageFile::ContinuesRun(std::int64_t start) const {
  return read_ahead_at_ >= 0 && start >= read_ahead_at_ &&
         start - read_ahead_at_ < std::int64_t{read_ahead_pages_} * kPageSize;
}

// One page, or when the miss continues a run of fills as many as they read
// together, up to the first page already held.
int ImageFile::PagesToRead(std::int64_t start) const {
  int wanted = 1;
  if (ContinuesRun(start)) wanted = read_ahead_pages_;
  if (wanted > kMaxReadAhead) wanted = kMaxReadAhead;
  int count = 1;
  while (count < wanted && FindPage(start + count * kPageSize) < 0) ++count;
  return count;
}

// The first slot of the group of kMaxReadAhead slots whose most recent use
// is the oldest.
int ImageFile::LeastRecentGroup() const {
  int oldest = 0;
  std::uint64_t oldest_use = UINT64_MAX;
  for (int group = 0; group < kPageCount; group += kMaxReadAhead) {
    std::uint64_t newest = 0;
    for (int i = group; i < group + kMaxReadAhead; ++i) {
      if (pages_[i].last_use > newest) newest = pages_[i].last_use;
    }
    if (newest < oldest_use) {
      oldest_use = newest;
      oldest = group;
    }
  }
  return oldest;
}

// Reads pages from start on with one host read, straight into their slots:
// a single page takes the least recently used slot, several take slots of
// the least recently used group. Returns the slot of the page at start, or
// -1 when nothing could be read there.
int ImageFile::FillPages(std::int64_t start) {
  if (end_seen_ && start >= end_) return -1;
  const int count = PagesToRead(start);
  const int first = count == 1 ? LeastRecentPage() : LeastRecentGroup();
  for (int i = first; i < first + count; ++i) pages_[i] = {-1, 0, 0};
  const std::int32_t got = ReadFromHost(start, bytes_[first], count * kPageSize);
  const bool continues = ContinuesRun(start);
  read_ahead_at_ = start + std::int64_t{count} * kPageSize;
  read_ahead_pages_ = continues ? read_ahead_pages_ + count : count;
  for (int i = 0; i < count && i * kPageSize < got; ++i) {
    const std::int32_t left = got - i * kPageSize;
    const std::int64_t page_start = start + std::int64_t{i} * kPageSize;
    pages_[first + i] = {page_start, left < kPageSize ? left : kPageSize,
                         ++clock_};
    hints_[page_start / kPageSize % kHints] =
        static_cast<std::uint8_t>(first + i);
  }
  return got > 0 ? first : -1;
}

std::int32_t ImageFile::ReadFromHost(std::int64_t position, std::uint8_t* dest,
                                     std::int32_t length) {
  if (end_seen_ && position >= end_) return 0;
  if (!SeekTo(stream_, position)) return 0;
  const std::size_t got =
      std::fread(dest, 1, static_cast<std::size_t>(length), stream_);
  ++host_read_calls_;
  host_read_bytes_ += static_cast<std::int64_t>(got);
  const std::int64_t end = position + static_cast<std::int64_t>(got);
  if (got < static_cast<std::size_t>(length) && (!end_seen_ || end < end_)) {
    end_seen_ = true;
    end_ = end;
  }
  return static_cast<std::int32_t>(got);
}

}  // namespace d88
