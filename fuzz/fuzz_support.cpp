#include "fuzz_support.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "cli/driver.h"
#include "json_check.h"

namespace d88fuzz {

namespace {

Scratch scratch;

void RemoveScratch() {
  std::error_code ignored;
  fs::remove_all(scratch.folder, ignored);
}

// Standard output goes to the output file for a run, then back to
// /dev/null.
void CatchOutput(bool caught) {
  std::fflush(stdout);
  const char* path = caught ? scratch.output.c_str() : "/dev/null";
  if (std::freopen(path, "w", stdout) == nullptr) Fail("cannot move stdout");
}

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

}  // namespace

const Scratch& Paths() { return scratch; }

void Fail(const char* what) {
  std::fprintf(stderr, "d88unpack fuzzer: %s\n", what);
  std::abort();
}

void Setup() {
  // The tool's output is of no interest unless caught; sanitizer reports go
  // to standard error.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) Fail("no /dev/null");
  std::string pattern =
      (fs::temp_directory_path() / "d88unpack-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder");
  // Canonical, so that it compares equal to what getcwd reports later.
  scratch.folder = fs::canonical(fs::path(pattern));
  scratch.start = fs::current_path();
  scratch.image = scratch.folder / "image.d88";
  scratch.work = scratch.folder / "work";
  scratch.output = scratch.folder / "output.txt";
  std::atexit(RemoveScratch);
  // A write past the file size limit then fails instead of ending the run.
  // libFuzzer catches SIGXFSZ itself unless run with -handle_xfsz=0, so the
  // signal is also set aside here.
  if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) Fail("cannot ignore SIGXFSZ");
}

void WriteImage(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(scratch.image.c_str(), "wb");
  if (file == nullptr) Fail("cannot create the image file");
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) Fail("cannot write the image file");
}

// libFuzzer reads corpus files and writes findings by paths relative to the
// folder it started in, so every input ends back there.
void EnterWorkFolder() {
  std::error_code error;
  fs::create_directory(scratch.work, error);
  if (error || chdir(scratch.work.c_str()) != 0) Fail("cannot enter work folder");
}

void LeaveWorkFolder() {
  if (chdir(scratch.start.c_str()) != 0) Fail("cannot return to the start");
  std::error_code error;
  fs::remove_all(scratch.work, error);
  if (error) Fail("cannot empty the work folder");
}

namespace {

void RunWithArguments(const std::vector<std::string>& arguments) {
  std::vector<std::string> copies = {"d88unpack"};
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : copies) argv.push_back(text.data());
  argv.push_back(nullptr);
  d88::RunTool(static_cast<int>(argv.size() - 1), argv.data());
}

// Standard output's handle is pointed at the output in memory for a run,
// then back at /dev/null; the stream itself stays as it is.
void PointStdout(int handle) {
  std::fflush(stdout);
  if (dup2(handle, fileno(stdout)) < 0) Fail("cannot move stdout");
}

int NullHandle() {
  static const int handle = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (handle < 0) Fail("no /dev/null");
  return handle;
}

}  // namespace

void RunTool(const std::vector<std::string>& arguments, bool catch_output,
             bool limit_files) {
  if (catch_output) CatchOutput(true);
  if (limit_files) LimitFileSize(true);
  RunWithArguments(arguments);
  if (limit_files) LimitFileSize(false);
  if (catch_output) CatchOutput(false);
}

namespace {

// Whole outputs in one write where they fit, not in pieces of a page; and
// only this thread writes to standard output, so it needs no lock (with
// libFuzzer's own threads about, stdio would take one at every call).
bool BufferStdout() {
  static char buffer[1 << 20];
  if (std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer) != 0) return false;
  __fsetlocking(stdout, FSETLOCKING_BYCALLER);
  return true;
}

}  // namespace

const std::string& RunToolIntoMemory(
    const std::vector<std::string>& arguments) {
  static MemoryFile output("d88unpack-fuzz-output");
  static const bool buffered = BufferStdout();
  if (!buffered) Fail("cannot buffer stdout");
  output.Put(nullptr, 0);
  PointStdout(output.Handle());
  RunWithArguments(arguments);
  PointStdout(NullHandle());
  return output.Read();
}

MemoryFile::MemoryFile(const char* name)
    : handle_(memfd_create(name, MFD_CLOEXEC)) {
  if (handle_ < 0) Fail("cannot make a file in memory");
  path_ = "/proc/self/fd/" + std::to_string(handle_);
}

// Written over in place and cut to size: emptying it first would give its
// memory back to the host only to ask for it again.
void MemoryFile::Put(const std::uint8_t* data, std::size_t size) {
  if (size > 0 &&
      pwrite(handle_, data, size, 0) != static_cast<ssize_t>(size)) {
    Fail("cannot fill a file in memory");
  }
  if (ftruncate(handle_, static_cast<off_t>(size)) != 0 ||
      lseek(handle_, 0, SEEK_SET) != 0) {
    Fail("cannot cut a file in memory");
  }
}

const std::string& MemoryFile::Read() {
  struct stat status;
  if (fstat(handle_, &status) != 0) Fail("cannot size a file in memory");
  text_.resize(static_cast<std::size_t>(status.st_size));
  if (!text_.empty() &&
      pread(handle_, text_.data(), text_.size(), 0) !=
          static_cast<ssize_t>(text_.size())) {
    Fail("cannot read a file in memory");
  }
  return text_;
}

// The folder is made by the first run only.
void EnterEmptyWorkFolder() {
  if (chdir(scratch.work.c_str()) != 0) EnterWorkFolder();
}

void ReturnToStart() {
  if (chdir(scratch.start.c_str()) != 0) Fail("cannot return to the start");
}

void CheckStillInWorkFolder() {
  std::error_code error;
  const fs::path now = fs::current_path(error);
  if (error || now != scratch.work) Fail("the tool did not return to its folder");
}

void CheckNothingEscaped(std::initializer_list<fs::path> allowed) {
  std::error_code error;
  for (const fs::directory_entry& item :
       fs::directory_iterator(scratch.folder, error)) {
    const fs::path& path = item.path();
    bool known = path == scratch.image || path == scratch.work ||
                 path == scratch.output;
    for (const fs::path& other : allowed) known = known || path == other;
    if (!known) Fail("the tool wrote outside its working folder: " + path.string());
  }
  if (error) Fail("cannot list the scratch folder");
}

std::string ReadOutput() {
  std::FILE* file = std::fopen(scratch.output.c_str(), "rb");
  if (file == nullptr) Fail("cannot read the tool's output");
  std::string text;
  char chunk[1 << 16];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    text.append(chunk, got);
  }
  std::fclose(file);
  return text;
}

// An image that opens always gives a document; a cut-off one is a fault.
void CheckJsonOutput() { CheckJson(ReadOutput()); }

void CheckJson(const std::string& text) {
  if (!d88check::IsValidJson(text.data(), text.size())) {
    Fail("the output is not valid JSON");
  }
}

}  // namespace d88fuzz
