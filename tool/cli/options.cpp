#include "cli/options.h"

#include <cstdio>
#include <cstring>

#include "d88_format.h"

namespace d88 {
namespace {

// Where the parse is: the options seen so far and the positional arguments.
struct ParseState {
  CommandLine line;
  const char* mode_option = nullptr;  // the option that chose the mode
  const char* old_files_option = nullptr;  // --keep- or --skip-old-files
  int positional_count = 0;
};

using Apply = bool (*)(ParseState& state, const char* value);

struct OptionRow {
  OptionDescription description;
  Apply apply;  // value is nullptr for --name alone
};

bool SetMode(ParseState& state, Mode mode, const char* option) {
  if (state.mode_option != nullptr && state.line.options.mode != mode) {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "options --%s and --%s cannot be used together",
                  state.mode_option, option);
    return false;
  }
  state.mode_option = option;
  state.line.options.mode = mode;
  return true;
}

bool ApplyList(ParseState& state, const char*) {
  return SetMode(state, Mode::kList, "list");
}

bool ApplyTest(ParseState& state, const char*) {
  return SetMode(state, Mode::kTest, "test");
}

bool ApplyInfo(ParseState& state, const char*) {
  return SetMode(state, Mode::kInfo, "info");
}

bool ApplyJson(ParseState& state, const char*) {
  state.line.options.json = true;
  return true;
}

bool ApplyRepack(ParseState& state, const char*) {
  return SetMode(state, Mode::kRepack, "repack");
}

bool ApplyCreate(ParseState& state, const char*) {
  return SetMode(state, Mode::kCreate, "create");
}

// 4 tracks hold the system area, the directory and a little room for files;
// a disk header has room for 164.
bool ApplyTracks(ParseState& state, const char* value) {
  int tracks = 0;
  for (const char* digit = value; *digit != '\0' && tracks <= kTrackCount;
       ++digit) {
    tracks = *digit >= '0' && *digit <= '9' ? tracks * 10 + (*digit - '0')
                                            : kTrackCount + 1;
  }
  if (tracks < 4 || tracks > kTrackCount) {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "invalid --tracks '%s' (4 to 164)", value);
    return false;
  }
  state.line.options.tracks = tracks;
  return true;
}

bool ApplyMedia(ParseState& state, const char* value) {
  static constexpr struct {
    const char* name;
    std::uint8_t byte;
  } kMedia[] = {{"2d", kMedia2D}, {"2dd", kMedia2DD}, {"2hd", kMedia2HD}};
  for (const auto& media : kMedia) {
    if (std::strcmp(value, media.name) != 0) continue;
    state.line.options.media = media.byte;
    return true;
  }
  std::snprintf(state.line.problem, sizeof state.line.problem,
                "invalid --media '%s' (2d, 2dd or 2hd)", value);
  return false;
}

bool ApplyMap(ParseState& state, const char*) {
  return SetMode(state, Mode::kMap, "map");
}

// The picture comes with the map: --map-svg asks for a map as --map does.
bool ApplyMapSvg(ParseState& state, const char* value) {
  state.line.options.map_svg_path = value;
  return SetMode(state, Mode::kMap, "map-svg");
}

// "--color" alone asks for colour, as with ls.
bool ApplyColor(ParseState& state, const char* value) {
  report::ColorWhen& color = state.line.options.color;
  if (value == nullptr) {
    color = report::ColorWhen::kAlways;
  } else if (std::strcmp(value, "auto") == 0) {
    color = report::ColorWhen::kAuto;
  } else if (std::strcmp(value, "always") == 0) {
    color = report::ColorWhen::kAlways;
  } else if (std::strcmp(value, "never") == 0) {
    color = report::ColorWhen::kNever;
  } else {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "invalid --color '%s' (auto, always or never)", value);
    return false;
  }
  return true;
}

bool ApplyUnclaimed(ParseState& state, const char*) {
  state.line.options.unclaimed = true;
  return true;
}

bool ApplyOutput(ParseState& state, const char* value) {
  state.line.options.output_folder = value;
  return true;
}

bool ApplyDisk(ParseState& state, const char* value) {
  const ParsedDiskList parsed = ParseDiskList(value);
  if (!parsed.valid) {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "invalid disk list '%s' (examples: 2  0,3  1-4  5-)", value);
    return false;
  }
  state.line.options.disks = parsed.list;
  return true;
}

bool ApplyUnicodeNames(ParseState& state, const char*) {
  state.line.options.unicode_names = true;
  return true;
}

bool ApplyOnly(ParseState& state, const char* value) {
  NamePatterns& only = state.line.options.only;
  if (only.count == NamePatterns::kMaxPatterns) {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "too many --only patterns (at most %d)",
                  NamePatterns::kMaxPatterns);
    return false;
  }
  only.text[only.count++] = value;
  return true;
}

bool ApplyToStdout(ParseState& state, const char*) {
  state.line.options.to_stdout = true;
  return true;
}

bool SetOldFiles(ParseState& state, OldFiles old_files, const char* option) {
  if (state.old_files_option != nullptr &&
      std::strcmp(state.old_files_option, option) != 0) {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "options --%s and --%s cannot be used together",
                  state.old_files_option, option);
    return false;
  }
  state.old_files_option = option;
  state.line.options.old_files = old_files;
  return true;
}

bool ApplyKeepOldFiles(ParseState& state, const char*) {
  return SetOldFiles(state, OldFiles::kKeep, "keep-old-files");
}

bool ApplySkipOldFiles(ParseState& state, const char*) {
  return SetOldFiles(state, OldFiles::kSkip, "skip-old-files");
}

bool ApplyHelp(ParseState& state, const char*) {
  state.line.outcome = CommandLineOutcome::kHelp;
  return true;
}

bool ApplyVersion(ParseState& state, const char*) {
  if (state.line.outcome != CommandLineOutcome::kHelp) {
    state.line.outcome = CommandLineOutcome::kVersion;
  }
  return true;
}

// --- What a repack changes besides the files' bytes. ---

bool ApplyRelocate(ParseState& state, const char*) {
  state.line.options.edits.relocate = true;
  return true;
}

bool ApplyAdd(ParseState& state, const char*) {
  state.line.options.edits.add = true;
  return true;
}

bool ApplyDryRun(ParseState& state, const char*) {
  state.line.options.edits.dry_run = true;
  return true;
}

bool KeepPattern(ParseState& state, const char* option, const char** list,
                 int& count, const char* value) {
  if (count >= EditRequest::kMaxPatterns) {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "too many --%s options (at most %d)", option,
                  EditRequest::kMaxPatterns);
    return false;
  }
  list[count++] = value;
  return true;
}

bool ApplyRemove(ParseState& state, const char* value) {
  EditRequest& edits = state.line.options.edits;
  return KeepPattern(state, "remove", edits.remove, edits.remove_count, value);
}

bool ApplyRename(ParseState& state, const char* value) {
  const char* equals = std::strchr(value, '=');
  if (equals == nullptr || equals == value || equals[1] == '\0') {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "invalid rename '%s' (OLD=NEW)", value);
    return false;
  }
  EditRequest& edits = state.line.options.edits;
  return KeepPattern(state, "rename", edits.rename, edits.rename_count, value);
}

bool ApplyDiskName(ParseState& state, const char* value) {
  state.line.options.edits.disk_name = value;
  return true;
}

bool ApplyWriteProtect(ParseState& state, const char* value) {
  using WriteProtect = EditRequest::WriteProtect;
  WriteProtect& setting = state.line.options.edits.write_protect;
  if (std::strcmp(value, "on") == 0) {
    setting = WriteProtect::kOn;
  } else if (std::strcmp(value, "off") == 0) {
    setting = WriteProtect::kOff;
  } else {
    std::snprintf(state.line.problem, sizeof state.line.problem,
                  "invalid value '%s' for --write-protect (on or off)", value);
    return false;
  }
  return true;
}

// Every option, once: the parser takes its rules from here and --help its
// lines, in this order. A new option is one row here, one function above,
// and its lines in the bash completion and the man page.
using V = OptionValue;
using C = OptionCompletion;
constexpr OptionRow kOptionTable[] = {
    {{"list", V::kNone, nullptr, C::kNothing, nullptr,
      "list every disk's files; write nothing"}, ApplyList},
    {{"test", V::kNone, nullptr, C::kNothing, nullptr,
      "read every file as extraction would; write nothing"}, ApplyTest},
    {{"info", V::kNone, nullptr, C::kNothing, nullptr,
      "describe each disk: header, tracks, directory"}, ApplyInfo},
    {{"json", V::kNone, nullptr, C::kNothing, nullptr,
      "with --list, --test, --info or --map: print JSON"}, ApplyJson},
    {{"repack", V::kNone, nullptr, C::kNothing, nullptr,
      "write edited files back; prints \"repacked PATH (N bytes)\""},
     ApplyRepack},
    {{"create", V::kNone, nullptr, C::kNothing, nullptr,
      "make IMAGE anew from the disks' folders (000, 001, ...)"}, ApplyCreate},
    {{"tracks", V::kRequired, "N", C::kNothing, nullptr,
      "with --create: tracks per disk, 4 to 164 (80)"}, ApplyTracks},
    {{"media", V::kRequired, "2d|2dd|2hd", C::kChoices, "2d 2dd 2hd",
      "with --create: the disks' media byte (2d)"}, ApplyMedia},
    {{"output", V::kRequired, "DIR", C::kFolder, nullptr,
      "work in DIR (made if missing), not the current folder"},
     ApplyOutput},
    {{"disk", V::kRequired, "LIST", C::kNothing, nullptr,
      "only these disks: 2  0,3  1-4  5- (to the last)"}, ApplyDisk},
    {{"unicode-names", V::kNone, nullptr, C::kNothing, nullptr,
      "decode Shift_JIS names: UTF-8 text and host names"}, ApplyUnicodeNames},
    {{"map", V::kNone, nullptr, C::kNothing, nullptr,
      "show each disk's sectors: files, free, damaged"}, ApplyMap},
    {{"map-svg", V::kRequired, "PATH", C::kFile, nullptr,
      "also draw the maps as an SVG picture in PATH"}, ApplyMapSvg},
    {{"color", V::kAttached, "WHEN", C::kChoices, "auto always never",
      "colour the map: auto (a terminal), always (alone), never"},
     ApplyColor},
    {{"unclaimed", V::kNone, nullptr, C::kNothing, nullptr,
      "also take out the system area and sectors no file claims"},
     ApplyUnclaimed},
    {{"only", V::kRequired, "PATTERN", C::kNothing, nullptr,
      "only entries named so: * ? [a-z] [!a] (may be repeated)"}, ApplyOnly},
    {{"to-stdout", V::kNone, nullptr, C::kNothing, nullptr,
      "write just the files' bytes, to standard output"}, ApplyToStdout},
    {{"keep-old-files", V::kNone, nullptr, C::kNothing, nullptr,
      "replace no existing host file: say so, exit status 1"},
     ApplyKeepOldFiles},
    {{"skip-old-files", V::kNone, nullptr, C::kNothing, nullptr,
      "replace no existing host file, silently"}, ApplySkipOldFiles},
    {{"relocate", V::kNone, nullptr, C::kNothing, nullptr,
      "with --repack: move a grown file to a run it fits"}, ApplyRelocate},
    {{"add", V::kNone, nullptr, C::kNothing, nullptr,
      "with --repack: new files in a disk's folder become entries"},
     ApplyAdd},
    {{"remove", V::kRequired, "PATTERN", C::kNothing, nullptr,
      "with --repack: take matching entries out (repeatable)"}, ApplyRemove},
    {{"rename", V::kRequired, "OLD=NEW", C::kNothing, nullptr,
      "with --repack: give an entry a new name (repeatable)"}, ApplyRename},
    {{"set-disk-name", V::kRequired, "TEXT", C::kNothing, nullptr,
      "with --repack or --create: name every disk (16 bytes)"}, ApplyDiskName},
    {{"write-protect", V::kRequired, "on|off", C::kChoices, "on off",
      "with --repack or --create: every disk's write protection"},
     ApplyWriteProtect},
    {{"dry-run", V::kNone, nullptr, C::kNothing, nullptr,
      "with --repack or --create: print it all but write nothing"},
     ApplyDryRun},
    {{"help", V::kNone, nullptr, C::kNothing, nullptr,
      "show this help and exit"}, ApplyHelp},
    {{"version", V::kNone, nullptr, C::kNothing, nullptr,
      "show the version and exit"}, ApplyVersion},
};

const OptionRow* FindOption(const char* name, std::size_t length) {
  for (const OptionRow& row : kOptionTable) {
    const char* known = row.description.name;
    if (std::strlen(known) == length &&
        std::strncmp(known, name, length) == 0) {
      return &row;
    }
  }
  return nullptr;
}

bool Problem(ParseState& state, const char* format, const char* argument) {
  std::snprintf(state.line.problem, sizeof state.line.problem, format,
                argument);
  return false;
}

// Takes the option at argv[*index] and, for "--name value", the value after
// it. Returns false with the problem set when the option cannot be used.
// An option whose value is optional takes it only after "=", so that the
// next argument (the image path, say) is never taken for it.
bool TakeOption(ParseState& state, int argc, char** argv, int& index) {
  const char* argument = argv[index] + 2;
  const char* equals = std::strchr(argument, '=');
  const std::size_t length = equals != nullptr
                                 ? static_cast<std::size_t>(equals - argument)
                                 : std::strlen(argument);
  const OptionRow* row = FindOption(argument, length);
  if (row == nullptr) return Problem(state, "unknown option '%s'", argv[index]);
  const OptionValue kind = row->description.value;
  if (kind == OptionValue::kNone && equals != nullptr) {
    return Problem(state, "option '%s' takes no value", argv[index]);
  }
  if (kind == OptionValue::kNone ||
      (kind == OptionValue::kAttached && equals == nullptr)) {
    return row->apply(state, nullptr);
  }
  const char* value = equals != nullptr ? equals + 1 : nullptr;
  if (value == nullptr && index + 1 < argc) value = argv[++index];
  if (value == nullptr || value[0] == '\0') {
    return Problem(state, "option '--%s' needs a value", row->description.name);
  }
  return row->apply(state, value);
}

// The arguments that are not options keep their original positions: image
// path, then "-d", then anything, which is ignored.
void TakePositional(ParseState& state, const char* argument) {
  Options& options = state.line.options;
  const int position = state.positional_count++;
  if (position == 0) {
    options.image_path = argument;
    return;
  }
  if (position == 1 && std::strcmp(argument, "-d") == 0) {
    options.folders = false;
    return;
  }
  IgnoredArguments& ignored = options.ignored;
  if (ignored.count < IgnoredArguments::kMaxNamed) {
    ignored.text[ignored.count] = argument;
  }
  ++ignored.count;
}

bool IsLongOption(const char* argument) {
  return argument[0] == '-' && argument[1] == '-' && argument[2] != '\0';
}

// A number or range read from the start of a text: where the text goes on
// after it, or nullptr when there was none.
struct NumberRead {
  const char* next;
  int value;
};

NumberRead ReadNumber(const char* text) {
  NumberRead read = {nullptr, 0};
  if (*text < '0' || *text > '9') return read;
  for (; *text >= '0' && *text <= '9'; ++text) {
    read.value = read.value * 10 + (*text - '0');
    if (read.value > DiskList::kLargestNumber) return read;
  }
  read.next = text;
  return read;
}

struct RangeRead {
  const char* next;
  DiskRange range;
};

// Reads "N", "N-M" or "N-" (to the last disk).
RangeRead ReadRange(const char* text) {
  RangeRead read = {nullptr, {0, 0}};
  const NumberRead first = ReadNumber(text);
  if (first.next == nullptr) return read;
  read.range = {first.value, first.value};
  if (*first.next != '-') {
    read.next = first.next;
    return read;
  }
  const char* after_dash = first.next + 1;
  if (*after_dash == ',' || *after_dash == '\0') {
    read.range.last = DiskList::kToLastDisk;
    read.next = after_dash;
    return read;
  }
  const NumberRead last = ReadNumber(after_dash);
  if (last.next == nullptr || last.value < first.value) return read;
  read.range.last = last.value;
  read.next = last.next;
  return read;
}

// The checks of options that go together look at a run still to be made:
// not after --help, --version or an option already refused.
bool StillToCheck(const ParseState& state) {
  return state.line.outcome == CommandLineOutcome::kRun ||
         state.line.outcome == CommandLineOutcome::kNoImage;
}

// Options that each parse but cannot go together: the run is refused.
void RefuseCombination(ParseState& state, const char* format,
                       const char* argument) {
  Problem(state, format, argument);
  state.line.outcome = CommandLineOutcome::kBadOption;
}

// JSON describes what was read; an extraction's result is the files.
void CheckJsonMode(ParseState& state) {
  if (!StillToCheck(state)) return;
  const Mode mode = state.line.options.mode;
  if (!state.line.options.json || mode == Mode::kList || mode == Mode::kTest ||
      mode == Mode::kInfo || mode == Mode::kMap) {
    return;
  }
  RefuseCombination(state, "option %s needs --list, --test or --info",
                    "--json");
}

// What no file claims comes out beside the files, or is listed with them.
void CheckUnclaimedMode(ParseState& state) {
  if (!StillToCheck(state)) return;
  const Options& options = state.line.options;
  const bool lists = options.mode == Mode::kExtract ||
                     options.mode == Mode::kList || options.mode == Mode::kTest;
  if (!options.unclaimed || (lists && !options.json)) return;
  RefuseCombination(
      state, "option %s needs an extraction, --list or --test, without --json",
      "--unclaimed");
}

// The bytes of the files are all that standard output carries: nothing that
// prints, describes or writes elsewhere goes with them.
void CheckToStdout(ParseState& state) {
  const Options& options = state.line.options;
  if (!options.to_stdout || !StillToCheck(state)) return;
  const char* other = state.mode_option;
  if (other == nullptr && options.json) other = "json";
  if (other == nullptr && options.output_folder != nullptr) other = "output";
  if (other == nullptr && options.unclaimed) other = "unclaimed";
  if (other == nullptr && options.map_svg_path != nullptr) other = "map-svg";
  if (other == nullptr) return;
  RefuseCombination(
      state, "options --to-stdout and --%s cannot be used together", other);
}

// The first of the edit options given, for the line that names it.
const char* FirstEditOption(const EditRequest& edits) {
  if (edits.relocate) return "--relocate";
  if (edits.add) return "--add";
  if (edits.remove_count > 0) return "--remove";
  if (edits.rename_count > 0) return "--rename";
  if (edits.disk_name != nullptr) return "--set-disk-name";
  if (edits.write_protect != EditRequest::WriteProtect::kUnchanged) {
    return "--write-protect";
  }
  return "--dry-run";
}

// The edits change what a repack writes; alone they have nothing to act on.
// A new image has no entries yet to edit, but takes the disks' name, their
// write protection and a dry run, so the refusal of those names both modes.
// With -d every disk's files share one folder, so the new files there can
// only be meant for one disk.
void CheckEditOptions(ParseState& state) {
  if (state.line.outcome != CommandLineOutcome::kRun ||
      !state.line.options.edits.Any()) {
    return;
  }
  const Options& options = state.line.options;
  const EditRequest& edits = options.edits;
  const bool edits_entries = edits.relocate || edits.add ||
                             edits.remove_count > 0 || edits.rename_count > 0;
  if (options.mode != Mode::kRepack &&
      (options.mode != Mode::kCreate || edits_entries)) {
    RefuseCombination(state,
                      edits_entries ? "option %s needs --repack"
                                    : "option %s needs --repack or --create",
                      FirstEditOption(options.edits));
    return;
  }
  const DiskList& disks = options.disks;
  if (options.edits.add && !options.folders &&
      (disks.range_count != 1 || disks.ranges[0].first != disks.ranges[0].last)) {
    RefuseCombination(state,
                      "option %s with -d needs exactly one disk in --disk",
                      "--add");
  }
}

// A new image is made from whole folders: nothing picks disks or entries.
void CheckCreateOptions(ParseState& state) {
  if (state.line.outcome != CommandLineOutcome::kRun) return;
  const Options& options = state.line.options;
  if (options.mode != Mode::kCreate) {
    if (options.tracks != 0 || options.media >= 0) {
      RefuseCombination(state, "option %s needs --create",
                        options.tracks != 0 ? "--tracks" : "--media");
    }
    return;
  }
  const char* other = nullptr;
  if (!options.disks.TakesEveryDisk()) other = "--disk";
  if (options.only.count > 0) other = "--only";
  if (other != nullptr) {
    RefuseCombination(state, "option %s cannot be used with --create", other);
  }
}

}  // namespace

bool DiskList::Includes(int disk) const {
  if (TakesEveryDisk()) return true;
  for (int i = 0; i < range_count; ++i) {
    const DiskRange& range = ranges[i];
    if (disk >= range.first && (range.last == kToLastDisk || disk <= range.last)) {
      return true;
    }
  }
  return false;
}

ParsedDiskList ParseDiskList(const char* text) {
  ParsedDiskList parsed = {};
  while (parsed.list.range_count < DiskList::kMaxRanges) {
    const RangeRead read = ReadRange(text);
    if (read.next == nullptr) return parsed;
    parsed.list.ranges[parsed.list.range_count++] = read.range;
    text = read.next;
    if (*text == '\0') {
      parsed.valid = true;
      return parsed;
    }
    if (*text++ != ',') return parsed;
  }
  return parsed;  // more ranges than anyone types: refused as malformed
}

CommandLine ParseCommandLine(int argc, char** argv) {
  ParseState state;
  state.line.outcome = CommandLineOutcome::kRun;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!options_ended && std::strcmp(argument, "--") == 0) {
      options_ended = true;
    } else if (!options_ended && IsLongOption(argument)) {
      if (!TakeOption(state, argc, argv, i)) {
        state.line.outcome = CommandLineOutcome::kBadOption;
        return state.line;
      }
    } else {
      TakePositional(state, argument);
    }
  }
  if (state.line.outcome == CommandLineOutcome::kRun &&
      state.line.options.image_path == nullptr) {
    state.line.outcome = CommandLineOutcome::kNoImage;
  }
  CheckToStdout(state);
  CheckJsonMode(state);
  CheckUnclaimedMode(state);
  CheckEditOptions(state);
  CheckCreateOptions(state);
  return state.line;
}

namespace {

// "--name", "--name=VALUE" or "--name[=VALUE]", as --help shows it.
void OptionSynopsis(const OptionDescription& option, char* text,
                    std::size_t capacity) {
  switch (option.value) {
    case OptionValue::kNone:
      std::snprintf(text, capacity, "--%s", option.name);
      return;
    case OptionValue::kRequired:
      std::snprintf(text, capacity, "--%s=%s", option.name, option.value_name);
      return;
    case OptionValue::kAttached:
      std::snprintf(text, capacity, "--%s[=%s]", option.name,
                    option.value_name);
      return;
  }
}

}  // namespace

int OptionCount() {
  return static_cast<int>(sizeof kOptionTable / sizeof kOptionTable[0]);
}

const OptionDescription& DescribeOption(int index) {
  return kOptionTable[index].description;
}

const char* OptionsHelpText() {
  static char text[4096];
  std::size_t used = 0;
  for (const OptionRow& row : kOptionTable) {
    char left[32];
    OptionSynopsis(row.description, left, sizeof left);
    const char* help = row.description.help;
    // An option too long for the column has its help on the next line.
    const bool fits = std::strlen(left) <= 18;
    const int written = std::snprintf(text + used, sizeof text - used,
                                      fits ? "  %-18s %s\n" : "  %s\n%21s%s\n",
                                      left, fits ? help : "",
                                      fits ? "" : help);
    if (written < 0 || static_cast<std::size_t>(written) >= sizeof text - used) {
      break;
    }
    used += static_cast<std::size_t>(written);
  }
  return text;
}

}  // namespace d88
