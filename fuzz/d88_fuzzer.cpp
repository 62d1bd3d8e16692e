// libFuzzer target: every input is the bytes of one D88 image file, and the
// whole tool runs on it as a user would run it. The bytes go to an image
// file beside a scratch working folder; the tool lists and extracts every
// disk into that folder, which is emptied again after each input. The input
// length modulo 5 picks the run: 0 extracts into folders, 1 adds "-d", 2 is
// "--test --json", 3 "--info --json" and 4 "--map --json", so every way of
// reading the disks is exercised by the same corpus.
//
// Besides the sanitizers' own checks, each run must leave the process in the
// working folder it started in, and nothing may appear beside that folder.
// After an extraction the input is repacked from what the extraction wrote,
// which must leave the image byte for byte as it was. A JSON run's standard
// output goes to a file, which must hold valid JSON.
//
// A few bytes of directory can claim 8192 files of over a megabyte each, and
// the scratch folder is usually a RAM file system. While the tool runs, no
// host file may grow beyond kToolFileLimit bytes: a longer write fails with
// EFBIG (SIGXFSZ, which would kill the process, is ignored), the tool reports
// that file as not written and goes on, and one input can leave at most
// 8192 * kToolFileLimit bytes behind. The fuzzer's own files are written
// with the limit lifted again.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/driver.h"
#include "json_check.h"

namespace {
namespace fs = std::filesystem;

// libFuzzer reads corpus files and writes findings by paths relative to the
// folder it started in, so every input ends back there.
fs::path start_path;
fs::path scratch;  // holds the image file and the working folder
fs::path image_path;
fs::path work_path;
fs::path json_path;  // standard output of the JSON runs

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "d88unpack fuzzer: %s\n", what);
  std::abort();
}

void RemoveScratch() {
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

void WriteImage(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(image_path.c_str(), "wb");
  if (file == nullptr) Fail("cannot create the image file");
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) Fail("cannot write the image file");
}

// Nothing but the image file and the working folder may sit in the scratch
// folder: a host file anywhere else escaped the folder the tool ran in.
void CheckNothingEscaped() {
  std::error_code error;
  for (const fs::directory_entry& item : fs::directory_iterator(scratch, error)) {
    if (item.path() != image_path && item.path() != work_path &&
        item.path() != json_path) {
      Fail(("the tool wrote outside its working folder: " +
            item.path().string()).c_str());
    }
  }
  if (error) Fail("cannot list the scratch folder");
}

// Standard output goes to json_path for the run, then back to /dev/null.
void CaptureOutput(bool capture) {
  std::fflush(stdout);
  const char* path = capture ? json_path.c_str() : "/dev/null";
  if (std::freopen(path, "w", stdout) == nullptr) Fail("cannot move stdout");
}

void CheckJsonOutput() {
  static char text[64 * 1024 * 1024];  // 64 disks x 128 entries fit
  std::FILE* file = std::fopen(json_path.c_str(), "rb");
  if (file == nullptr) Fail("cannot read the JSON output");
  const std::size_t length = std::fread(text, 1, sizeof text, file);
  const bool whole = std::feof(file) != 0;
  std::fclose(file);
  // An image that opens always gives a document; a cut-off one is a fault.
  if (!whole) Fail("the JSON output is larger than the checker's buffer");
  if (!d88check::IsValidJson(text, length)) Fail("the output is not valid JSON");
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

constexpr rlim_t kToolFileLimit = 16 * 1024;

// Sets the soft limit on the size of a file this process writes; it never
// goes above the hard limit, which an unprivileged process cannot raise.
void LimitFileSize(bool tool_running) {
  rlimit limit = {};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) Fail("cannot read RLIMIT_FSIZE");
  const rlim_t wanted = tool_running ? kToolFileLimit : limit.rlim_max;
  limit.rlim_cur = limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted
                       ? limit.rlim_max
                       : wanted;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) Fail("cannot set RLIMIT_FSIZE");
}

void CheckStillInWorkFolder() {
  std::error_code error;
  const fs::path now = fs::current_path(error);
  if (error || now != work_path) Fail("the tool did not return to its folder");
}

char program[] = "d88unpack";
char dash_d[] = "-d";

// Lists and extracts every disk, then repacks what was extracted: a repack
// that finds nothing edited must leave the image byte for byte as it was.
void ExtractAndRepack(std::string& image, bool no_folders,
                      const std::uint8_t* data, std::size_t size) {
  char repack[] = "--repack";
  char* argv[] = {program, image.data(), dash_d, nullptr};
  const int argc = no_folders ? 3 : 2;
  LimitFileSize(true);
  d88::RunTool(argc, argv);
  LimitFileSize(false);
  CheckStillInWorkFolder();
  CheckNothingEscaped();
  char* repack_argv[] = {program, image.data(), dash_d, nullptr, nullptr};
  repack_argv[argc] = repack;
  d88::RunTool(argc + 1, repack_argv);
  CheckStillInWorkFolder();
  CheckNothingEscaped();
  CheckImageUnchanged(data, size);
}

// Reads every disk with --test, --info or --map, as JSON, which must be
// valid.
void ReadAsJson(std::string& image, const char* mode) {
  std::string mode_option = mode;
  char json_option[] = "--json";
  char* argv[] = {program, image.data(), mode_option.data(), json_option,
                  nullptr};
  CaptureOutput(true);
  d88::RunTool(4, argv);
  CaptureOutput(false);
  CheckJsonOutput();
  CheckStillInWorkFolder();
  CheckNothingEscaped();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The listing is of no interest here; sanitizer reports go to stderr.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) Fail("no /dev/null");
  std::string pattern =
      (fs::temp_directory_path() / "d88unpack-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder");
  // Canonical, so that it compares equal to what getcwd reports later.
  scratch = fs::canonical(fs::path(pattern));
  start_path = fs::current_path();
  image_path = scratch / "image.d88";
  work_path = scratch / "work";
  json_path = scratch / "output.json";
  std::atexit(RemoveScratch);
  // A write past the limit then fails instead of ending the run. libFuzzer
  // catches SIGXFSZ itself unless run with -handle_xfsz=0, so the signal is
  // also set aside here.
  if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) Fail("cannot ignore SIGXFSZ");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  WriteImage(data, size);
  std::error_code error;
  fs::create_directory(work_path, error);
  if (error || chdir(work_path.c_str()) != 0) Fail("cannot enter work folder");

  std::string image = image_path.string();
  const std::size_t kind = size % 5;
  static const char* const json_modes[] = {"--test", "--info", "--map"};
  if (kind < 2) {
    ExtractAndRepack(image, kind == 1, data, size);
  } else {
    ReadAsJson(image, json_modes[kind - 2]);
  }
  if (chdir(start_path.c_str()) != 0) Fail("cannot return to the start");
  fs::remove_all(work_path, error);
  if (error) Fail("cannot empty the work folder");
  return 0;
}
