// libFuzzer target: every input is the bytes of one D88 image file, and the
// whole tool runs on it as a user would run it. The bytes go to an image
// file beside a scratch working folder; the tool lists and extracts every
// disk into that folder, which is emptied again after each input. An odd
// input length adds "-d", so both ways of laying out the host files are
// exercised by the same corpus.
//
// Besides the sanitizers' own checks, each run must leave the process in the
// working folder it started in, and nothing may appear beside that folder.
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

#include "driver.h"

namespace {
namespace fs = std::filesystem;

// libFuzzer reads corpus files and writes findings by paths relative to the
// folder it started in, so every input ends back there.
fs::path start_path;
fs::path scratch;  // holds the image file and the working folder
fs::path image_path;
fs::path work_path;

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
    if (item.path() != image_path && item.path() != work_path) {
      Fail(("the tool wrote outside its working folder: " +
            item.path().string()).c_str());
    }
  }
  if (error) Fail("cannot list the scratch folder");
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
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  WriteImage(data, size);
  std::error_code error;
  fs::create_directory(work_path, error);
  if (error || chdir(work_path.c_str()) != 0) Fail("cannot enter work folder");

  std::string image = image_path.string();
  char program[] = "d88unpack";
  char dash_d[] = "-d";
  char* argv[] = {program, image.data(), dash_d, nullptr};
  // A write past the limit then fails instead of ending the run. libFuzzer
  // catches SIGXFSZ itself unless run with -handle_xfsz=0, so the signal is
  // set aside here, for every input.
  if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) Fail("cannot ignore SIGXFSZ");
  LimitFileSize(true);
  d88::RunTool(size % 2 == 1 ? 3 : 2, argv);
  LimitFileSize(false);

  CheckStillInWorkFolder();
  CheckNothingEscaped();
  if (chdir(start_path.c_str()) != 0) Fail("cannot return to the start");
  fs::remove_all(work_path, error);
  if (error) Fail("cannot empty the work folder");
  return 0;
}
