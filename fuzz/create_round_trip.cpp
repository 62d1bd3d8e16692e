#include "create_round_trip.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "cli/driver.h"
#include "d88_image.h"
#include "disk/file_system.h"
#include "host/entry_host_name.h"

namespace d88fuzz {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

// Files above this the fuzz target's runs may cut short, and images above
// this take the fuzzer's time for nothing new.
constexpr std::int32_t kLargestRoundTripFile = 16 * 1024;
constexpr std::int64_t kLargestRoundTripImage = 8 * 1024 * 1024;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "d88unpack fuzzer: create round trip: %s\n", what);
  std::abort();
}

// The sectors each disk's files take, the fewest tracks that hold the most
// of them, and whether every file of the image comes out whole, under its
// own name, once per folder.
struct Eligibility {
  bool whole = true;
  int disk_count = 0;
  int tracks = 4;
};

bool DiskComesOutWhole(d88::D88Image& image, std::set<std::string>& names,
                       int& sectors) {
  static std::uint8_t file[d88::kLargestFileSize];
  const d88::Directory& directory = d88::ReadDirectory(image);
  for (int i = 0; i < directory.entry_count; ++i) {
    const d88::DirEntry& entry = directory.entries[i];
    const d88::EntryHostName host = d88::HostNameOf(entry.name, false);
    if (host.mapped || !names.insert(entry.name).second) return false;
    const std::int32_t size = d88::FileSize(entry);
    if (size <= 0 || size > kLargestRoundTripFile) return false;
    const d88::FileRead read = d88::ReadFile(image, entry, file);
    if (read.delivered != size) return false;
    sectors += size / d88::kSectorSize;
  }
  return true;
}

Eligibility Judge(const fs::path& image_path, bool no_folders) {
  static d88::D88Image image;
  Eligibility judged;
  if (!image.Open(image_path.c_str())) return {false, 0, 0};
  judged.disk_count = image.DiskCount();
  if (judged.disk_count == 0 || (no_folders && judged.disk_count != 1)) {
    judged.whole = false;
  }
  for (int disk = 0; judged.whole && disk < judged.disk_count; ++disk) {
    std::set<std::string> names;
    int sectors = 0;
    judged.whole = image.SelectDisk(disk) &&
                   DiskComesOutWhole(image, names, sectors);
    const int tracks = 2 + (sectors + d88::kSectorsPerTrack - 1) /
                               d88::kSectorsPerTrack;
    if (tracks > judged.tracks) judged.tracks = tracks;
  }
  image.Open(nullptr);
  const std::int64_t size =
      judged.disk_count * (0x2B0 + judged.tracks * 5 * (16 + 1024));
  if (judged.tracks > d88::kTrackCount || size > kLargestRoundTripImage) {
    judged.whole = false;
  }
  return judged;
}

int RunIn(const fs::path& folder, std::vector<std::string> args) {
  std::error_code error;
  fs::create_directory(folder, error);
  if (error || chdir(folder.c_str()) != 0) Fail("cannot enter a folder");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return d88::RunTool(static_cast<int>(argv.size() - 1), argv.data());
}

// Every file but the pieces of free sectors, which a new disk lays out
// afresh.
Tree FilesToCompare(const fs::path& root) {
  Tree tree;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file()) continue;
    const std::string name = it->path().filename().string();
    if (name.find("unclaimed-") != std::string::npos &&
        name.find("unclaimed-system") == std::string::npos) {
      continue;
    }
    std::FILE* file = std::fopen(it->path().c_str(), "rb");
    if (file == nullptr) Fail("cannot read an extracted file");
    std::string bytes;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
      bytes.append(chunk, got);
    }
    std::fclose(file);
    tree[it->path().lexically_relative(root).generic_string()] = bytes;
  }
  if (error) Fail("cannot list an extraction");
  return tree;
}

}  // namespace

void CheckCreateRoundTrip(const fs::path& image_path, const fs::path& scratch,
                          bool no_folders) {
  const Eligibility judged = Judge(image_path, no_folders);
  if (!judged.whole) return;
  std::error_code error;
  const fs::path back = fs::current_path(error);
  const fs::path first = scratch / "round-trip-first";
  const fs::path again = scratch / "round-trip-again";
  const fs::path created = scratch / "round-trip.d88";
  const std::vector<std::string> d =
      no_folders ? std::vector<std::string>{"-d"} : std::vector<std::string>{};
  std::vector<std::string> extract = {"d88unpack", image_path.string(),
                                      "--unclaimed"};
  extract.insert(extract.end(), d.begin(), d.end());
  if (RunIn(first, extract) != 0) Fail("the first extraction failed");
  std::vector<std::string> create = {
      "d88unpack", "--create", created.string(),
      "--tracks=" + std::to_string(judged.tracks)};
  create.insert(create.end(), d.begin(), d.end());
  if (RunIn(first, create) != 0) Fail("--create refused a whole extraction");
  extract[1] = created.string();
  if (RunIn(again, extract) != 0) Fail("the new image's extraction failed");
  if (FilesToCompare(first) != FilesToCompare(again)) {
    Fail("the new image's extraction differs from the first");
  }
  if (chdir(back.c_str()) != 0) Fail("cannot return to the folder");
  fs::remove_all(first, error);
  fs::remove_all(again, error);
  fs::remove(created, error);
}

}  // namespace d88fuzz
