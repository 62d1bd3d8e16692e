// Positioned, read-only access to the image file on the host.
//
// The reader asks for small pieces of the file at absolute positions: a disk
// header, a 16-byte sector header, a sector's data. Going to the host for each
// of them would cost a seek and a read per record, so the file is read through
// one window of consecutive bytes that is refilled from the asked position on a
// miss; a whole track, and usually the next few, arrive with one host read.
// Positions are 64-bit so that images larger than 2 GiB work.
#pragma once

#include <cstdint>
#include <cstdio>

namespace d88 {

class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens path for binary reading. Fails when the host cannot open it or when
  // it opens but cannot be read as a file (a directory, on POSIX hosts).
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return stream_ != nullptr; }
  // The errno value that made the last Open fail.
  int OpenError() const { return open_error_; }
  // Bytes in the file as the host sees it now; -1 when none is open or the
  // host cannot tell.
  std::int64_t Size();

  // Copies up to length bytes from the given file position into dest and
  // returns how many arrived: fewer than length only at the end of the file
  // or on a read error, and never any byte that was not read from the file.
  std::int32_t ReadAt(std::int64_t position, std::uint8_t* dest,
                      std::int32_t length) {
    return ReadAt(position, dest, length, position);
  }
  // The same, for a caller that is going to come back to keep_from (at or
  // before position) soon: a walk of a track's records, which starts over
  // from the track's first record for every sector it looks up. When the
  // bytes are not in the window, the window is refilled from keep_from if
  // that still leaves at least half of it for what follows position; a
  // record that crosses the end of the window then costs one host read
  // rather than two.
  std::int32_t ReadAt(std::int64_t position, std::uint8_t* dest,
                      std::int32_t length, std::int64_t keep_from);

  // For a read that nothing near it will follow, such as the scan's hop
  // from one disk header to the next, a whole disk further on: bytes that
  // are not in the window come straight from the host, and the window keeps
  // what it holds.
  std::int32_t ReadAtOnly(std::int64_t position, std::uint8_t* dest,
                          std::int32_t length);

  // A window this large holds any sector's data (the length field is 16-bit)
  // together with its header and many neighbouring tracks.
  static constexpr std::int32_t kWindowSize = 128 * 1024;

 private:
  std::int32_t ReadFromHost(std::int64_t position, std::uint8_t* dest,
                            std::int32_t length);
  bool InWindow(std::int64_t position, std::int32_t length) const;
  bool FillWindow(std::int64_t position);
  static std::int64_t RefillStart(std::int64_t position, std::int32_t length,
                                  std::int64_t keep_from);

  std::FILE* stream_ = nullptr;
  int open_error_ = 0;
  std::int64_t window_start_ = 0;
  std::int32_t window_length_ = 0;
  std::uint8_t window_[kWindowSize] = {};
};

}  // namespace d88
