#include "cli/options.h"

#include <cstdio>
#include <cstring>

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
  const char* name;  // without the leading "--"
  const char* value_name;  // nullptr: the option takes no value
  const char* help;
  Apply apply;
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

bool ApplyMap(ParseState& state, const char*) {
  return SetMode(state, Mode::kMap, "map");
}

// The picture comes with the map: --map-svg asks for a map as --map does.
bool ApplyMapSvg(ParseState& state, const char* value) {
  state.line.options.map_svg_path = value;
  return SetMode(state, Mode::kMap, "map-svg");
}

bool ApplyColor(ParseState& state, const char* value) {
  report::ColorWhen& color = state.line.options.color;
  if (std::strcmp(value, "auto") == 0) {
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

constexpr OptionRow kOptionTable[] = {
    {"list", nullptr, "list every disk's files; write nothing", ApplyList},
    {"test", nullptr, "read every file as extraction would; write nothing",
     ApplyTest},
    {"info", nullptr, "describe each disk: header, tracks, directory",
     ApplyInfo},
    {"json", nullptr, "with --list, --test, --info or --map: print JSON",
     ApplyJson},
    {"repack", nullptr,
     "write edited files back; prints \"repacked PATH (N bytes)\"",
     ApplyRepack},
    {"output", "DIR",
     "work in DIR (made if missing), not the current folder",
     ApplyOutput},
    {"disk", "LIST", "only these disks: 2  0,3  1-4  5- (to the last)",
     ApplyDisk},
    {"unicode-names", nullptr,
     "decode Shift_JIS names: UTF-8 text and host names", ApplyUnicodeNames},
    {"map", nullptr, "show each disk's sectors: files, free, damaged",
     ApplyMap},
    {"map-svg", "PATH", "also draw the maps as an SVG picture in PATH",
     ApplyMapSvg},
    {"color", "WHEN", "colour the map: auto (on a terminal), always, never",
     ApplyColor},
    {"unclaimed", nullptr,
     "also take out the system area and sectors no file claims",
     ApplyUnclaimed},
    {"only", "PATTERN",
     "only entries named so: * ? [a-z] [!a] (may be repeated)",
     ApplyOnly},
    {"to-stdout", nullptr,
     "write just the files' bytes, to standard output",
     ApplyToStdout},
    {"keep-old-files", nullptr,
     "replace no existing host file: say so, exit status 1",
     ApplyKeepOldFiles},
    {"skip-old-files", nullptr, "replace no existing host file, silently",
     ApplySkipOldFiles},
    {"relocate", nullptr, "with --repack: move a grown file to a run it fits",
     ApplyRelocate},
    {"add", nullptr, "with --repack: new files in a disk's folder become entries",
     ApplyAdd},
    {"remove", "PATTERN", "with --repack: take matching entries out (repeatable)",
     ApplyRemove},
    {"rename", "OLD=NEW", "with --repack: give an entry a new name (repeatable)",
     ApplyRename},
    {"set-disk-name", "TEXT", "with --repack: name every disk taken (16 bytes)",
     ApplyDiskName},
    {"write-protect", "on|off", "with --repack: set every disk's write protection",
     ApplyWriteProtect},
    {"dry-run", nullptr, "with --repack: print what would change; write nothing",
     ApplyDryRun},
    {"help", nullptr, "show this help and exit", ApplyHelp},
    {"version", nullptr, "show the version and exit", ApplyVersion},
};

const OptionRow* FindOption(const char* name, std::size_t length) {
  for (const OptionRow& row : kOptionTable) {
    if (std::strlen(row.name) == length &&
        std::strncmp(row.name, name, length) == 0) {
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
bool TakeOption(ParseState& state, int argc, char** argv, int& index) {
  const char* argument = argv[index] + 2;
  const char* equals = std::strchr(argument, '=');
  const std::size_t length = equals != nullptr
                                 ? static_cast<std::size_t>(equals - argument)
                                 : std::strlen(argument);
  const OptionRow* row = FindOption(argument, length);
  if (row == nullptr) return Problem(state, "unknown option '%s'", argv[index]);
  if (row->value_name == nullptr) {
    if (equals != nullptr) {
      return Problem(state, "option '%s' takes no value", argv[index]);
    }
    return row->apply(state, nullptr);
  }
  const char* value = equals != nullptr ? equals + 1 : nullptr;
  if (value == nullptr && index + 1 < argc) value = argv[++index];
  if (value == nullptr || value[0] == '\0') {
    return Problem(state, "option '--%s' needs a value", row->name);
  }
  return row->apply(state, value);
}

// The arguments that are not options keep their original positions: image
// path, then "-d", then anything, which is ignored.
void TakePositional(ParseState& state, const char* argument) {
  Options& options = state.line.options;
  if (state.positional_count == 0) options.image_path = argument;
  if (state.positional_count == 1 && std::strcmp(argument, "-d") == 0) {
    options.folders = false;
  }
  ++state.positional_count;
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
// With -d every disk's files share one folder, so the new files there can
// only be meant for one disk.
void CheckEditOptions(ParseState& state) {
  if (state.line.outcome != CommandLineOutcome::kRun ||
      !state.line.options.edits.Any()) {
    return;
  }
  const Options& options = state.line.options;
  if (options.mode != Mode::kRepack) {
    RefuseCombination(state, "option %s needs --repack",
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
  return state.line;
}

const char* OptionsHelpText() {
  static char text[4096];
  std::size_t used = 0;
  for (const OptionRow& row : kOptionTable) {
    char left[32];
    std::snprintf(left, sizeof left, "--%s%s%s", row.name,
                  row.value_name != nullptr ? "=" : "",
                  row.value_name != nullptr ? row.value_name : "");
    // An option too long for the column has its help on the next line.
    const bool fits = std::strlen(left) <= 18;
    const int written = std::snprintf(text + used, sizeof text - used,
                                      fits ? "  %-18s %s\n" : "  %s\n%21s%s\n",
                                      left, fits ? row.help : "",
                                      fits ? "" : row.help);
    if (written < 0 || static_cast<std::size_t>(written) >= sizeof text - used) {
      break;
    }
    used += static_cast<std::size_t>(written);
  }
  return text;
}

}  // namespace d88
