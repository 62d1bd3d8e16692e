#include "image_writer.h"

#include <cerrno>

#include "file_open.h"
#include "file_seek.h"

namespace d88 {

bool ImageWriter::Fail() {
  error_ = errno != 0 ? errno : EIO;
  return false;
}

// The blocks go straight to the host: stdio's own buffers would only copy
// every byte once more.
bool ImageWriter::CopyFrom(const char* source_path, std::uint8_t* buffer,
                           std::int32_t capacity) {
  errno = 0;
  std::FILE* source = OpenBinaryForReading(source_path);
  if (source == nullptr) return Fail();
  std::setvbuf(source, nullptr, _IONBF, 0);
  std::setvbuf(dest_, nullptr, _IONBF, 0);
  const auto block = static_cast<std::size_t>(capacity);
  bool copied = true;
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, block, source);
    if (got > 0 && std::fwrite(buffer, 1, got, dest_) != got) copied = false;
    if (!copied) break;
    copied_ += static_cast<std::int64_t>(got);
    if (got < block) {
      copied = !std::ferror(source);
      break;
    }
  }
  if (!copied) Fail();
  std::fclose(source);
  return copied;
}

bool ImageWriter::PutAt(std::int64_t position, const std::uint8_t* data,
                        std::int32_t length) {
  if (position < 0 || length < 0 || position + length > copied_) {
    error_ = EINVAL;
    return false;
  }
  errno = 0;
  if (!SeekTo(dest_, position)) return Fail();
  const auto size = static_cast<std::size_t>(length);
  if (std::fwrite(data, 1, size, dest_) != size) return Fail();
  return true;
}

}  // namespace d88
