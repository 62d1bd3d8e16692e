// Fresh temporary folders for tests, removed again when the test ends.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "d88_builder.h"

namespace d88test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes bytes to a file of this folder and returns its path.
  std::filesystem::path Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFileText(const std::filesystem::path& path);
// Writes bytes as the whole file, as a user's editor would leave it.
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);
// Recognisable bytes for a host file, different for every seed and byte.
Bytes HostFileBytes(std::size_t size, std::uint8_t seed);
// "" when two images are the same; else their sizes and where they first
// part, for a failure message that fits on a screen.
std::string ImageDifference(const std::string& actual,
                            const std::string& expected);

// Every file and folder below root, by path relative to it with '/' between
// parts: a file maps to its content, a folder to "<dir>".
std::map<std::string, std::string> ReadTree(const std::filesystem::path& root);
// The same with names as UTF-8, as a run with --unicode-names makes them on
// any host.
std::map<std::string, std::string> ReadTreeUtf8(
    const std::filesystem::path& root);

// What shows that a file was written or replaced: its modification time
// and, on POSIX, its inode, which a new file renamed over it does not keep.
struct FileStamp {
  std::filesystem::file_time_type time;
  unsigned long long inode;  // 0 on Windows
  bool operator==(const FileStamp& other) const {
    return time == other.time && inode == other.inode;
  }
};
FileStamp StampOf(const std::filesystem::path& path);
// Sets the file's modification time a day back, so that a write within the
// clock's resolution still shows, and returns its stamp.
FileStamp AgeFile(const std::filesystem::path& path);

inline std::string AsText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace d88test
