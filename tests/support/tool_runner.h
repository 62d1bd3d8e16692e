// Runs the built d88unpack binary the way a user would: in a fresh, empty
// working folder, with standard output and standard error captured as bytes.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "scratch.h"

namespace d88test {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
  // What the run left in its working folder (see ReadTree).
  std::map<std::string, std::string> tree;
};

// The path of the binary under test, as the host's shell takes it.
std::string ToolPath();

// What a console stream of the tool carries for text it prints with "\n":
// the streams are text streams, so on Windows each line feed arrives as
// CR LF. Host files are binary everywhere and are compared byte for byte.
std::string ConsoleText(const std::string& text);

#if defined(_WIN32)
// The system's text for a Windows error code, in the user's language, as the
// tool quotes it: without the line end and the full stop it comes with.
std::string SystemErrorText(unsigned long error);
#endif

// The listing line the tool prints for an entry (before ConsoleText).
std::string ListingLine(const std::string& name, int start_track,
                        int start_sector, int end_track, int end_sector,
                        int size);

// Whether raw Shift_JIS names reach the host's files unchanged: always on
// POSIX, and on Windows only under the Japanese ANSI code page (932).
bool HostTakesShiftJisNames();

// What text typed beyond ASCII becomes where the tool compares it with raw
// names or stores it as one (without --unicode-names): on POSIX the UTF-8
// bytes typed; on Windows the bytes of the ANSI code page, which under the
// Japanese one (932) are Shift_JIS, and refused where they have none.
enum class TypedText { kUtf8Bytes, kShiftJis, kRefused };
TypedText HostTypedJapanese();

class ToolRunner {
 public:
  ToolRunner();
  // Folder the tool runs in; starts empty.
  const std::filesystem::path& work() const { return work_; }
  // Writes the image beside the working folder and returns its path.
  std::string WriteImage(const Bytes& image) const;
  // Runs the tool with exactly these arguments after argument 0.
  ToolRun Run(const std::vector<std::string>& args) const;
  // Runs the tool with arguments in UTF-8 that reach it as Unicode: on
  // Windows through the wide command line, as a Unicode console passes
  // them whatever the ANSI code page; elsewhere exactly as Run does.
  ToolRun RunUnicode(const std::vector<std::string>& utf8_args) const;
  // Runs the tool with its standard output on a pipe whose reader has
  // already gone, as with "| true" once true has quit, and standard error
  // to a file; out stays empty. A signal that ends the tool makes the
  // status 128 + its number, as a shell reports it.
  ToolRun RunIntoClosedPipe(const std::vector<std::string>& args) const;
  // Runs the tool on the image with the given arguments after its path.
  ToolRun RunOn(const Bytes& image,
                const std::vector<std::string>& extra = {}) const;
  // Shell text put before the command line, such as "ulimit -f 2;", for
  // runs that need the host to behave otherwise.
  void SetShellPrefix(const std::string& prefix) { shell_prefix_ = prefix; }

 private:
  ToolRun RunWith(const std::vector<std::string>& args, bool unicode) const;

  ScratchDir scratch_;
  std::filesystem::path work_;
  std::string shell_prefix_;
};

}  // namespace d88test
