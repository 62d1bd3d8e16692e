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

  // Copies up to length bytes from the given file position into dest and
  // returns how many arrived: fewer than length only at the end of the file
  // or on a read error, and never any byte that was not read from the file.
  std::int32_t ReadAt(std::int64_t position, std::uint8_t* dest,
                      std::int32_t length);

  // A window this large holds any sector's data (the length field is 16-bit)
  // together with its header and many neighbouring tracks.
  static constexpr std::int32_t kWindowSize = 128 * 1024;

 private:
  std::int32_t ReadFromHost(std::int64_t position, std::uint8_t* dest,
                            std::int32_t length);
  bool FillWindow(std::int64_t position);

  std::FILE* stream_ = nullptr;
  std::int64_t window_start_ = 0;
  std::int32_t window_length_ = 0;
  std::uint8_t window_[kWindowSize] = {};
};

}  // namespace d88
