// libFuzzer target for the round trips that write: every input is the bytes
// of one D88 image file, and the tool extracts every disk into a scratch
// working folder, which is emptied again after each input. The input length
// modulo 2 picks the extraction: into folders, or with "-d".
//
// Each run must leave the process in the working folder it started in, and
// nothing may appear beside that folder. After the extraction the input is
// repacked from what the extraction wrote, which must leave the image byte
// for byte as it was. Then one extracted file grows by a sector
// (--relocate), one new file is added (--add, with folders) and one entry is
// removed (--remove) in one repack; a second extraction must hold exactly
// the edited files, and no byte of the image outside the directories and
// the sectors the repack names may change. When every file of the image
// came out whole, the extraction is made into a new image with --create,
// whose extraction must write the same files.
//
// A few bytes of directory can claim 8192 files of over a megabyte each, and
// the scratch folder is usually a RAM file system. While the tool runs, no
// host file may grow beyond kToolFileLimit bytes (see fuzz_support.h): a
// longer write fails with EFBIG, the tool reports that file as not written
// and goes on.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "d88_image.h"
#include "disk/file_system.h"
#include "create_round_trip.h"
#include "fuzz_support.h"
#include "host/entry_host_name.h"

namespace {

using d88fuzz::Fail;
using d88fuzz::fs::path;
namespace fs = d88fuzz::fs;

constexpr std::uintmax_t kToolFileLimit = d88fuzz::kToolFileLimit;

path image_path;   // the input as an image file
path work_path;    // the tool's working folder
path json_path;    // the repack's standard output
path before_path;  // the image as it was before the edits
path again_path;   // the second extraction, after the edits

void CheckNothingEscaped() {
  d88fuzz::CheckNothingEscaped({before_path, again_path});
}

void CheckImageUnchanged(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(image_path.c_str(), "rb");
  if (file == nullptr) Fail("the image file is gone after the repack");
  static std::uint8_t chunk[1 << 16];
  std::size_t compared = 0;
  bool same = true;
  for (std::size_t got; same && (got = std::fread(chunk, 1, sizeof chunk,
                                                  file)) > 0;) {
    same = got <= size - compared &&
           std::memcmp(chunk, data + compared, got) == 0;
    compared += got;
  }
  std::fclose(file);
  if (!same || compared != size) {
    Fail("a repack right after the extraction changed the image");
  }
}

// --- Growing, adding and removing files in one repack. ---

using Tree = std::map<std::string, std::string>;

Tree ReadTree(const fs::path& root) {
  Tree tree;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::FILE* file = std::fopen(it->path().c_str(), "rb");
    if (file == nullptr) Fail("cannot read an extracted file");
    std::string content;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
      content.append(chunk, got);
    }
    std::fclose(file);
    tree[it->path().lexically_relative(root).string()] = content;
  }
  if (error) Fail("cannot list an extracted tree");
  return tree;
}

void WriteWhole(const fs::path& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr ||
      std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    Fail("cannot write a host file");
  }
  std::fclose(file);
}

// Names whose lines the check can read back: printable, no path syntax.
bool Printable(const std::string& path) {
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The disk a path names by its folder; -1 without folders.
int DiskOf(const std::string& path) {
  return path.size() > 4 && path[3] == '/' ? std::atoi(path.c_str()) : -1;
}

struct Edits {
  std::string grown;    // path of the file grown by a sector; "" if none
  std::string removed;  // path of the file whose entry is removed
  std::string added;    // path of the new file; "" if none
};

// The first two files an extraction wrote that the check can follow, and a
// new name in the first one's folder.
Edits PickEdits(const Tree& tree, bool no_folders) {
  Edits edits;
  for (const auto& [path, content] : tree) {
    if (!Printable(path) || content.size() + 1024 > kToolFileLimit) continue;
    if (edits.grown.empty()) {
      edits.grown = path;
    } else if (edits.removed.empty()) {
      edits.removed = path;
    }
  }
  if (!edits.grown.empty() && !no_folders) {
    const std::string folder = edits.grown.substr(0, 4);
    if (tree.count(folder + "NEW+") == 0) edits.added = folder + "NEW+";
  }
  return edits;
}

// Every character stands for itself.
std::string ExactPattern(const std::string& name) {
  std::string pattern;
  for (const char c : name) {
    pattern += '\\';
    pattern += c;
  }
  return pattern;
}

// A run a change line names: its disk (-1: any) and its ends.
struct NamedRun {
  int disk;
  int start_track, start_sector, end_track, end_sector;
};

struct Reported {
  bool grown = false;
  bool added = false;
  std::vector<std::string> removed;
  std::vector<NamedRun> runs;  // of the files grown and added
};

bool ReadRunText(const char* text, NamedRun& run) {
  return std::sscanf(text, " START:%x %x END:%x %x", &run.start_track,
                     &run.start_sector, &run.end_track,
                     &run.end_sector) == 4;
}

// The edit's standard output: only changes of the files picked can show.
Reported ReadReport(const Edits& edits) {
  Reported reported;
  std::FILE* file = std::fopen(json_path.c_str(), "rb");
  if (file == nullptr) Fail("cannot read the repack's output");
  static char line[16384];
  const std::string relocated = "relocated " + edits.grown + " (";
  const std::string added = "added " + edits.added + " (";
  constexpr std::size_t kRunText = sizeof " START:02 05 END:03 02" - 1;
  // A removal whose host file is still there says so at the end.
  const std::string left = " (host file left; --add would take it again)";
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.rfind("removed ", 0) == 0 && text.size() > left.size() &&
        text.compare(text.size() - left.size(), left.size(), left) == 0) {
      text.resize(text.size() - left.size());
    }
    NamedRun run = {};
    const std::size_t close = text.find(") START:");
    if (text.rfind(relocated, 0) == 0 && close != std::string::npos &&
        ReadRunText(text.c_str() + close + 1, run)) {
      reported.grown = true;
    } else if (!edits.added.empty() && text.rfind(added, 0) == 0 &&
               close != std::string::npos &&
               ReadRunText(text.c_str() + close + 1, run)) {
      reported.added = true;
    } else if (text.rfind("removed ", 0) == 0 && text.size() > 8 + kRunText) {
      reported.removed.push_back(text.substr(8, text.size() - 8 - kRunText));
      continue;
    } else {
      Fail(("the repack printed a line no edit explains: " + text).c_str());
    }
    run.disk = DiskOf(text.substr(text.find(' ') + 1));
    reported.runs.push_back(run);
  }
  std::fclose(file);
  return reported;
}

d88::D88Image reader;

using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;

// Where the bytes of the directories and, with runs, of the runs named lie
// in the image as it was: only these may differ.
Spans AllowedSpans(const Reported& reported, bool runs) {
  Spans spans;
  if (!reader.Open(before_path.c_str())) Fail("cannot open the old image");
  const auto add_sector = [&](int track, int sector) {
    const d88::SectorInfo found = reader.FindSector(
        track, track / 2, track % 2, sector, d88::kSectorSizeCode);
    if (found.found) {
      spans.push_back({found.data_position,
                       found.data_position + d88::kSectorSize});
    }
  };
  for (int disk = 0; disk < reader.DiskCount(); ++disk) {
    if (!reader.SelectDisk(disk)) continue;
    add_sector(d88::kDirectoryTrack, 1);
    add_sector(d88::kDirectoryTrack, 2);
    for (const NamedRun& run : reported.runs) {
      if (!runs || (run.disk >= 0 && run.disk != disk)) continue;
      d88::SectorAddress at = {run.start_track, run.start_sector};
      for (int k = 0; k < 256; ++k) {
        add_sector(at.track, at.sector);
        if (at.track == run.end_track && at.sector == run.end_sector) break;
        at = d88::NextSector(at);
      }
    }
  }
  reader.Open(nullptr);
  return spans;
}

bool InSpans(const Spans& spans, std::int64_t first, std::int64_t end) {
  for (const auto& [from, to] : spans) {
    if (first < to && from < end) return true;
  }
  return false;
}

void CheckOnlyAllowedBytesMoved(const std::uint8_t* data, std::size_t size,
                                const Spans& spans) {
  std::FILE* file = std::fopen(image_path.c_str(), "rb");
  if (file == nullptr) Fail("the image file is gone after the edit");
  std::string now;
  char chunk[1 << 16];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    now.append(chunk, got);
  }
  std::fclose(file);
  if (now.size() != size) Fail("the edit changed the image's size");
  for (std::size_t at = 0; at < size; ++at) {
    const auto position = static_cast<std::int64_t>(at);
    if (static_cast<std::uint8_t>(now[at]) != data[at] &&
        !InSpans(spans, position, position + 1)) {
      Fail("the edit changed a byte outside what it names");
    }
  }
}

// Whether an entry of the image at image_file that writes the host file
// named (an entry of its disk, or of any disk) passes test.
template <typename Test>
bool AnyEntryWriting(const std::string& image_file, const char* which,
                     const std::string& path, Test test) {
  if (!reader.Open(image_file.c_str())) Fail(std::string("cannot open ") + which);
  bool passed = false;
  for (int disk = 0; disk < reader.DiskCount() && !passed; ++disk) {
    if ((DiskOf(path) >= 0 && disk != DiskOf(path)) || !reader.SelectDisk(disk)) {
      continue;
    }
    const d88::Directory& directory = d88::ReadDirectory(reader);
    for (int j = 0; j < directory.entry_count && !passed; ++j) {
      const d88::DirEntry& entry = directory.entries[j];
      passed = d88::HostNameOf(entry.name, false).text == BaseName(path) &&
               test(entry);
    }
  }
  reader.Open(nullptr);
  return passed;
}

// Whether an entry of the edited image still writes the host file named.
bool StillWritten(const std::string& path) {
  return AnyEntryWriting(image_path, "the edited image", path,
                         [](const d88::DirEntry&) { return true; });
}

// Whether an entry of the old image that writes the host file reads a
// directory sector, whose bytes the edit changes. Moved and added files go
// to sectors no entry reads, so their runs are no excuse.
bool MayChange(const std::string& path, const Spans& spans) {
  return AnyEntryWriting(before_path, "the old image", path,
                         [&spans](const d88::DirEntry& entry) {
    d88::SectorAddress at = {entry.start_track, entry.start_sector};
    for (std::int32_t k = 0; k < d88::FileSize(entry) / d88::kSectorSize; ++k) {
      const d88::SectorInfo found = reader.FindSector(
          at.track, at.track / 2, at.track % 2, at.sector, d88::kSectorSizeCode);
      if (found.found && InSpans(spans, found.data_position,
                                 found.data_position + d88::kSectorSize)) {
        return true;
      }
      at = d88::NextSector(at);
    }
    return false;
  });
}

// The second extraction holds what the first did, but for the edits the
// repack reports: a file an entry taken out wrote is gone unless another
// entry of that host name still writes it, and a file whose run reads bytes
// the edit changed may differ.
void CheckNewTree(Tree expected, const Tree& again, const Edits& edits,
                  const Reported& reported, const Spans& spans,
                  const std::string& grown_bytes,
                  const std::string& added_bytes) {
  if (reported.grown) expected[edits.grown] = grown_bytes;
  if (reported.added) {
    std::string padded = added_bytes;
    padded.resize(1024, '\0');
    expected[edits.added] = padded;
  }
  for (const std::string& path : reported.removed) {
    const auto now = again.find(path);
    if (now != again.end() && StillWritten(path)) {
      expected[path] = now->second;
    } else {
      expected.erase(path);
    }
  }
  for (const auto& [path, content] : again) {
    const auto wanted = expected.find(path);
    if ((wanted == expected.end() || wanted->second != content) &&
        MayChange(path, spans)) {
      expected[path] = content;
    }
  }
  for (auto it = expected.begin(); it != expected.end();) {
    const bool gone = again.count(it->first) == 0 && MayChange(it->first, spans);
    it = gone ? expected.erase(it) : std::next(it);
  }
  if (again != expected) Fail("the second extraction is not the edited tree");
}

void Extract(const std::string& image, bool no_folders) {
  std::vector<std::string> arguments = {image};
  if (no_folders) arguments.push_back("-d");
  d88fuzz::RunTool(arguments, false, true);
}

// Grows one file, adds one and removes one in a repack, then extracts the
// edited image again beside the first tree.
void EditAndExtractAgain(const std::string& image, bool no_folders,
                         const std::uint8_t* data, std::size_t size) {
  const Tree before = ReadTree(work_path);
  const Edits edits = PickEdits(before, no_folders);
  if (edits.grown.empty()) return;
  WriteWhole(before_path, std::string(reinterpret_cast<const char*>(data), size));
  const std::string grown_bytes = before.at(edits.grown) + std::string(1024, 'G');
  const std::string added_bytes(1000, 'A');
  WriteWhole(work_path / edits.grown, grown_bytes);
  if (!edits.added.empty()) WriteWhole(work_path / edits.added, added_bytes);
  const std::string remove =
      "--remove=" + ExactPattern(edits.removed.empty()
                                     ? std::string("NO-SUCH")
                                     : BaseName(edits.removed));
  std::vector<std::string> arguments = {image};
  if (no_folders) arguments.push_back("-d");
  arguments.insert(arguments.end(), {"--repack", "--relocate", remove});
  if (!edits.added.empty()) arguments.push_back("--add");
  d88fuzz::RunTool(arguments, true);
  d88fuzz::CheckStillInWorkFolder();
  CheckNothingEscaped();
  const Reported reported = ReadReport(edits);
  CheckOnlyAllowedBytesMoved(data, size, AllowedSpans(reported, true));
  const Spans spans = AllowedSpans(reported, false);

  std::error_code error;
  fs::create_directory(again_path, error);
  if (error || chdir(again_path.c_str()) != 0) Fail("cannot enter a folder");
  Extract(image, no_folders);
  const Tree again = ReadTree(again_path);
  if (chdir(work_path.c_str()) != 0) Fail("cannot return to the work folder");
  fs::remove_all(again_path, error);
  CheckNewTree(before, again, edits, reported, spans, grown_bytes,
               added_bytes);
  fs::remove(before_path, error);
}

// More round trips on the same input: each one starts from the image as
// the fuzzer gave it and the tree its extraction wrote, and leaves the
// working folder as it found it. --create makes a new image from an
// extracted tree, which must extract to the same files.
void MoreRoundTrips(const std::string& /*image*/, bool no_folders) {
  d88fuzz::CheckCreateRoundTrip(image_path, d88fuzz::Paths().folder,
                                no_folders);
}

// Lists and extracts every disk, then repacks what was extracted: a repack
// that finds nothing edited must leave the image byte for byte as it was.
// Then the edits, then the other round trips.
void ExtractAndRepack(const std::string& image, bool no_folders,
                      const std::uint8_t* data, std::size_t size) {
  Extract(image, no_folders);
  d88fuzz::CheckStillInWorkFolder();
  CheckNothingEscaped();
  std::vector<std::string> repack = {image};
  if (no_folders) repack.push_back("-d");
  repack.push_back("--repack");
  d88fuzz::RunTool(repack, false);
  d88fuzz::CheckStillInWorkFolder();
  CheckNothingEscaped();
  CheckImageUnchanged(data, size);
  MoreRoundTrips(image, no_folders);
  EditAndExtractAgain(image, no_folders, data, size);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  d88fuzz::Setup();
  const d88fuzz::Scratch& paths = d88fuzz::Paths();
  image_path = paths.image;
  work_path = paths.work;
  json_path = paths.output;
  before_path = paths.folder / "before.d88";
  again_path = paths.folder / "again";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  d88fuzz::WriteImage(data, size);
  d88fuzz::EnterWorkFolder();
  ExtractAndRepack(image_path.string(), size % 2 == 1, data, size);
  d88fuzz::LeaveWorkFolder();
  return 0;
}
