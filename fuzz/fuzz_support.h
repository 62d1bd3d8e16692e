// What the fuzz targets share: a scratch folder for the image file and the
// tool's working folder, running the tool with its output caught, and the
// checks every run must pass. A failed check aborts, which libFuzzer
// reports as a finding with the input that caused it.
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
inline void Fail(const std::string& what) { Fail(what.c_str()); }

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

// The checks.
void CheckStillInWorkFolder();
// Nothing but the image, the working folder and the given paths may sit in
// the scratch folder: anything else escaped the folder the tool ran in.
void CheckNothingEscaped(std::initializer_list<fs::path> allowed = {});
// The caught output is one valid JSON text.
void CheckJsonOutput();
// The caught output, whole.
std::string ReadOutput();

}  // namespace d88fuzz
