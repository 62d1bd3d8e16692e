// The command line: every rule about what the user may type lives here.
//
// Options are long options ("--name", "--name=value" or "--name value") and
// may stand anywhere; a lone "--" ends them. What is left keeps the tool's
// original positional rules: the first argument is the image path (even
// "-d"), the second turns folders off only when it is exactly "-d", and the
// rest is ignored (the run names each ignored argument on standard error).
// So with no option the tool behaves as it always has.
#pragma once

#include <cstddef>

#include "disk/edit_request.h"
#include "report/file_output.h"
#include "report/map_text.h"

namespace d88 {

// What the run does with each disk's directory.
enum class Mode {
  kExtract,  // list every entry and write its file
  kList,     // list every entry; read no file data, create nothing
  kTest,     // list every entry and read its file as kExtract would; write nothing
  kInfo,     // describe each disk's header, tracks and directory; write nothing
  kRepack,   // put edited host files back into the image's sectors
  kMap,      // show each disk's sectors and who claims them; write no files
};

// The disks a run takes, by the numbers their folders carry: "2", "0,3",
// "1-4", "5-" (to the last). No range at all means every disk.
struct DiskRange {
  int first;
  int last;  // kToLastDisk for "5-"
};

struct DiskList {
  static constexpr int kToLastDisk = -1;
  static constexpr int kMaxRanges = 32;
  // Disk numbers beyond this cannot be meant: an image holds at most 64.
  static constexpr int kLargestNumber = 999999;

  int range_count = 0;
  DiskRange ranges[kMaxRanges] = {};

  bool TakesEveryDisk() const { return range_count == 0; }
  bool Includes(int disk) const;
};

// The --only patterns, as typed.
struct NamePatterns {
  static constexpr int kMaxPatterns = 64;
  int count = 0;
  const char* text[kMaxPatterns] = {};
};

// The positional arguments the rules above pass over, for the lines that
// name them: a second argument that is not "-d", and every one after it.
struct IgnoredArguments {
  static constexpr int kMaxNamed = 32;
  int count = 0;  // all of them; the first kMaxNamed are kept
  const char* text[kMaxNamed] = {};
};

struct Options {
  Mode mode = Mode::kExtract;
  bool folders = true;        // false with "-d"
  bool unicode_names = false;
  bool json = false;          // one JSON document instead of text on stdout
  const char* image_path = nullptr;
  const char* output_folder = nullptr;  // nullptr: the current folder
  DiskList disks;
  const char* map_svg_path = nullptr;  // --map-svg: the picture's path
  report::ColorWhen color = report::ColorWhen::kAuto;
  bool unclaimed = false;  // also take out what no file claims
  NamePatterns only;          // none: every entry
  bool to_stdout = false;     // the files' bytes on stdout, nothing else
  OldFiles old_files = OldFiles::kReplace;
  // --relocate, --add, --remove, --rename, --set-disk-name, --write-protect
  // and --dry-run: what a repack changes besides the files' bytes.
  EditRequest edits;
  IgnoredArguments ignored;
};

enum class CommandLineOutcome {
  kRun,         // options holds a run to do
  kHelp,        // --help
  kVersion,     // --version
  kNoImage,     // no image path: print the usage
  kBadOption,   // problem names the mistake; print it and the usage
};

struct CommandLine {
  CommandLineOutcome outcome = CommandLineOutcome::kNoImage;
  Options options;
  // One line (without "d88unpack: " and the line feed) naming what was
  // wrong, for kBadOption.
  char problem[192] = {};
};

CommandLine ParseCommandLine(int argc, char** argv);

struct ParsedDiskList {
  bool valid;  // false when the text is not a list of numbers and ranges
  DiskList list;
};

ParsedDiskList ParseDiskList(const char* text);

// One line per option for --help.
const char* OptionsHelpText();

// --- The table of options, as the parser and --help use it. ---
// The bash completion and the man page keep their own list of the same
// options; a test compares them with this table.

enum class OptionValue {
  kNone,      // --name
  kRequired,  // --name=VALUE or --name VALUE
  kAttached,  // --name alone, or --name=VALUE (never the next argument)
};

// What a shell completes after "--name=".
enum class OptionCompletion {
  kNothing,  // the user's own text: numbers, names, patterns
  kFolder,   // a folder
  kFile,     // any path
  kChoices,  // one of the words in choices
};

struct OptionDescription {
  const char* name;        // without the leading "--"
  OptionValue value;
  const char* value_name;  // for --help; nullptr with OptionValue::kNone
  OptionCompletion completion;
  const char* choices;     // words separated by spaces, for kChoices
  const char* help;        // the line --help prints
};

int OptionCount();
const OptionDescription& DescribeOption(int index);

}  // namespace d88
