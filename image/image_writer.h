// Writing a changed copy of an image file.
//
// An image is never changed in place: the new image is a copy of the old
// file, made in large blocks, with new bytes put over chosen sectors' data
// afterwards. The writer knows file positions only; which sector lies where
// is the reader's business (D88Image::FindSector), and what goes there is
// the caller's.
#pragma once

#include <cstdint>
#include <cstdio>

namespace d88 {

class ImageWriter {
 public:
  // dest is an open, empty binary stream for the new file; the caller
  // closes it.
  explicit ImageWriter(std::FILE* dest) : dest_(dest) {}
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Copies every byte of the file at source_path to the new file through
  // buffer, which holds capacity bytes.
  bool CopyFrom(const char* source_path, std::uint8_t* buffer,
                std::int32_t capacity);
  // Writes length bytes of data over the copy, from the file position on.
  // Refuses anything that does not lie wholly within the copied bytes: the
  // new file is never longer than the old one.
  bool PutAt(std::int64_t position, const std::uint8_t* data,
             std::int32_t length);
  // The errno value of the step that failed.
  int Error() const { return error_; }

 private:
  bool Fail();

  std::FILE* dest_;
  std::int64_t copied_ = 0;
  int error_ = 0;
};

}  // namespace d88
