#include "scratch.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace d88test {
namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  const auto stamp =
      std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << "d88unpack-test-" << stamp << "-" << counter++;
  path_ = fs::temp_directory_path() / name.str();
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Tests may take permissions away from folders; give them back first.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                    ignored);
  }
  fs::remove_all(path_, ignored);
}

fs::path ScratchDir::Write(const std::string& name, const Bytes& bytes) const {
  const fs::path file = path_ / name;
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::string ReadFileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes HostFileBytes(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
  }
  return bytes;
}

std::string ImageDifference(const std::string& actual,
                            const std::string& expected) {
  if (actual == expected) return "";
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() &&
         actual[at] == expected[at]) {
    ++at;
  }
  return "sizes " + std::to_string(actual.size()) + " and " +
         std::to_string(expected.size()) + ", first difference at " +
         std::to_string(at);
}

#if defined(_WIN32)

namespace {

// The tool makes its files through the narrow (ANSI) calls, so that their
// Shift_JIS names pass unchanged under the Japanese code page. The tree is
// read back through the same calls: std::filesystem hands names back
// converted from UTF-16 (GCC's library gives UTF-8, so 83 5C comes back as
// E3 82 BD), not as the bytes the tool was given.
void ReadFolder(const std::string& folder, const std::string& relative,
                std::map<std::string, std::string>& tree) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    const std::string key = relative.empty() ? name : relative + "/" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      tree[key] = "<dir>";
      ReadFolder(path, key, tree);
    } else {
      std::ifstream in(path, std::ios::binary);
      tree[key] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// The same through the wide-character calls, with names as UTF-8: what a
// run with --unicode-names made, whatever the ANSI code page.
std::string Utf8Of(const std::wstring& wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1,
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), length,
                      nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
}

void ReadFolderUtf8(const std::wstring& folder, const std::string& relative,
                    std::map<std::string, std::string>& tree) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring wide = found.cFileName;
    if (wide == L"." || wide == L"..") continue;
    const std::string name = Utf8Of(wide);
    const std::wstring path = folder + L"\\" + wide;
    const std::string key = relative.empty() ? name : relative + "/" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      tree[key] = "<dir>";
      ReadFolderUtf8(path, key, tree);
    } else {
      std::ifstream in(fs::path(path), std::ios::binary);
      tree[key] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

std::map<std::string, std::string> ReadTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  ReadFolder(root.string(), "", tree);
  return tree;
}

std::map<std::string, std::string> ReadTreeUtf8(const fs::path& root) {
  std::map<std::string, std::string> tree;
  ReadFolderUtf8(root.wstring(), "", tree);
  return tree;
}

#else

std::map<std::string, std::string> ReadTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = item.path().lexically_relative(root).generic_string();
    tree[relative] = item.is_directory() ? "<dir>" : ReadFileText(item.path());
  }
  return tree;
}

std::map<std::string, std::string> ReadTreeUtf8(const fs::path& root) {
  return ReadTree(root);
}

#endif

FileStamp StampOf(const fs::path& path) {
  FileStamp stamp = {fs::last_write_time(path), 0};
#if !defined(_WIN32)
  struct stat status;
  if (stat(path.c_str(), &status) == 0) stamp.inode = status.st_ino;
#endif
  return stamp;
}

FileStamp AgeFile(const fs::path& path) {
  fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24));
  return StampOf(path);
}

}  // namespace d88test
