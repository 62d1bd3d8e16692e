// What the fuzz targets share: a scratch folder for the image file and the
// tool's working folder, files kept in memory, running the tool with its
// output caught, and the checks every run must pass. A failed check aborts,
// which libFuzzer reports as a finding with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace d88fuzz {

namespace fs = std::filesystem;

struct Scratch {
  fs::path start;   // the folder libFuzzer started in
  fs::path folder;  // holds everything below
  fs::path image;   // the input, as an image file
  fs::path work;    // the tool's working folder
  fs::path output;  // the tool's standard output when it is caught
};

// The scratch paths, made once by Setup.
const Scratch& Paths();

[[noreturn]] void Fail(const char* what);
[[noreturn]] inline void Fail(const std::string& what) { Fail(what.c_str()); }

// Makes the scratch folder in the system's temporary folder (removed at
// exit), sends standard output to /dev/null and ignores SIGXFSZ.
void Setup();
void WriteImage(const std::uint8_t* data, std::size_t size);
// Makes the working folder and enters it; LeaveWorkFolder goes back to the
// start and empties it.
void EnterWorkFolder();
void LeaveWorkFolder();

// Runs the tool with these arguments after the program name, its standard
// output going to Paths().output when caught, to /dev/null otherwise. With
// limit_files, no host file may grow beyond kToolFileLimit bytes while it
// runs (an extraction: a few bytes of directory can claim 8192 files of
// over a megabyte each); the caught output is then limited too.
constexpr std::uintmax_t kToolFileLimit = 16 * 1024;
void RunTool(const std::vector<std::string>& arguments, bool catch_output,
             bool limit_files = false);

// A file that lives in memory only (a Linux memfd), for the targets that
// write no host file: the reader and the tool open it by a path under
// /proc/self/fd like any regular file, so they go through the same open and
// reads as for a file on a disk, but each input costs no file system entry.
class MemoryFile {
 public:
  // Fails when the host cannot make one.
  explicit MemoryFile(const char* name);
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const char* Path() const { return path_.c_str(); }
  int Handle() const { return handle_; }
  // Replaces what the file holds; the file's position goes back to 0.
  void Put(const std::uint8_t* data, std::size_t size);
  // What the file holds now, whole; valid until the next Read.
  const std::string& Read();

 private:
  int handle_;
  std::string path_;
  std::string text_;
};

// Enters the working folder, and leaves it, without emptying it: for runs
// that must write nothing there, which the checks below make sure of.
void EnterEmptyWorkFolder();
void ReturnToStart();

// Runs the tool as RunTool does, its standard output caught in memory;
// returns the output, valid until the next run.
const std::string& RunToolIntoMemory(
    const std::vector<std::string>& arguments);

// The checks.
void CheckStillInWorkFolder();
// Nothing but the image, the working folder and the given paths may sit in
// the scratch folder: anything else escaped the folder the tool ran in.
void CheckNothingEscaped(std::initializer_list<fs::path> allowed = {});
// The caught output is one valid JSON text.
void CheckJsonOutput();
void CheckJson(const std::string& text);
// The caught output, whole.
std::string ReadOutput();

}  // namespace d88fuzz
