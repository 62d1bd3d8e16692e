#include "cli/driver.h"

#include <cstdio>
#include <cstring>

#include "cli/options.h"
#include "commands/disk_info.h"
#include "commands/extract.h"
#include "commands/header_notes.h"
#include "commands/json_document.h"
#include "commands/json_map.h"
#include "commands/repack.h"
#include "commands/svg_map.h"
#include "commands/test_files.h"
#include "commands/text_listing.h"
#include "commands/text_map.h"
#include "commands/unclaimed.h"
#include "commands/to_stdout.h"
#include "d88_image.h"
#include "disk/disk_walk.h"
#include "disk/entry_filter.h"
#include "host/host.h"
#include "report/damage_notes.h"
#include "report/map_text.h"
#include "report/reporter.h"

namespace d88 {
namespace {

// The one reader of the run; it closes the image file at program exit.
D88Image image;

// The entries the run takes (--only).
static_assert(NamePatterns::kMaxPatterns <= EntryFilter::kMaxPatterns,
              "every --only pattern fits in the filter");
EntryFilter entry_filter;

// The typed text values as raw bytes (see TakeRawText). Raw text is never
// longer than the UTF-8 it came from, so the whole command line fits.
char raw_text[3 * 32768];
std::size_t raw_text_used = 0;

// "Cannot open the file" in Japanese, as Shift_JIS bytes: the tool's users
// know this message from the machines the disks come from, and scripts may
// match it. A line that any terminal can read follows it.
constexpr char kOpenError[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

enum class DiskOutcome { kDone, kFailed, kStopRun };

// Every consumer a run may use; the run picks some of them once, from the
// options, and the walk of each disk feeds those.
struct Consumers {
  explicit Consumers(const Options& options)
      : json_document(ModeName(options.mode), options.unicode_names),
        tester(image),
        info(options.json ? DiskInfo::ShowJson : DiskInfo::ShowText),
        extractor(options.unicode_names, options.old_files),
        repacker(image, {options.image_path, options.output_folder,
                         options.folders, options.unicode_names,
                         options.edits, &entry_filter}),
        text_map(options.mode == Mode::kMap && !options.json &&
                 report::DecideMapColor(options.color)),
        svg_map(options.map_svg_path),
        unclaimed(options.mode == Mode::kExtract, options.old_files) {}

  static const char* ModeName(Mode mode) {
    switch (mode) {
      case Mode::kList: return "list";
      case Mode::kTest: return "test";
      case Mode::kInfo: return "info";
      case Mode::kExtract: return "extract";
      case Mode::kRepack: return "repack";
      case Mode::kMap: return "map";
    }
    return "";
  }

  TextListing text_listing;
  JsonDocument json_document;
  JsonListing json_listing;
  HeaderNotes header_notes;
  FileTester tester;
  DiskInfo info;
  Extractor extractor;
  Repacker repacker;
  TextMap text_map;
  JsonMap json_map;
  SvgMap svg_map;
  UnclaimedPieces unclaimed;
  FilesToStdout to_stdout;
};

// The order is the order in which each consumer hears of a disk and of an
// entry: the listing line comes before what testing or extracting the
// file has to say about it.
ConsumerList PickConsumers(Consumers& all, const Options& options) {
  ConsumerList list;
  if (options.to_stdout) {
    list.Add(all.header_notes);
    list.Add(all.to_stdout);
    return list;
  }
  if (options.json) {
    list.Add(all.json_document);
    if (options.mode != Mode::kInfo && options.mode != Mode::kMap) {
      list.Add(all.json_listing);
    }
  } else if (options.mode != Mode::kInfo && options.mode != Mode::kRepack &&
             options.mode != Mode::kMap) {
    list.Add(all.text_listing);
  }
  if (options.mode != Mode::kRepack) list.Add(all.header_notes);
  switch (options.mode) {
    case Mode::kList: break;
    case Mode::kTest: list.Add(all.tester); break;
    case Mode::kInfo: list.Add(all.info); break;
    case Mode::kExtract: list.Add(all.extractor); break;
    case Mode::kRepack: list.Add(all.repacker); break;
    case Mode::kMap:
      list.Add(options.json ? static_cast<DiskConsumer&>(all.json_map)
                            : all.text_map);
      if (options.map_svg_path != nullptr) list.Add(all.svg_map);
      break;
  }
  // After the extraction, so that the pieces follow the disk's listing.
  if (options.unclaimed) list.Add(all.unclaimed);
  return list;
}

// Makes and enters the disk's folder; an existing folder is simply entered.
// When the folder cannot be made, the reason from making it is the one that
// explains the failure.
bool EnterDiskFolder(int index, const char* folder) {
  const host::MakeOutcome made = host::MakeFolder(folder);
  if (made != host::MakeOutcome::kFailed && host::EnterFolder(folder)) {
    return true;
  }
  report::Note("cannot %s folder \"%s\": %s; disk %d skipped",
               made == host::MakeOutcome::kFailed ? "make" : "enter", folder,
               host::FolderErrorText(), index);
  return false;
}

// Walks one disk in its own folder and returns to the work folder by its
// handle. If even that fails, the run stops rather than put the next disks
// in the wrong place.
DiskOutcome WalkDiskInFolder(const DiskVisit& visit,
                             const ConsumerList& consumers,
                             const Options& options) {
  if (!EnterDiskFolder(visit.number, visit.folder)) return DiskOutcome::kFailed;
  WalkDisk(visit, consumers, options.unicode_names, &entry_filter);
  if (!host::ReturnToWorkFolder()) {
    report::Note("cannot leave folder \"%s\": %s; run stopped", visit.folder,
                 host::FolderErrorText());
    return DiskOutcome::kStopRun;
  }
  return DiskOutcome::kDone;
}

// Walks every disk taken. Only a run that writes host files enters the
// disks' folders; the others just name them.
bool WalkDisks(const ConsumerList& consumers, const Options& options) {
  const bool enter_folders = options.folders && consumers.WritesHostFiles();
  bool ok = true;
  for (int i = 0; i < image.DiskCount(); ++i) {
    if (!options.disks.Includes(i)) continue;
    image.SelectDisk(i);
    char folder[16];
    std::snprintf(folder, sizeof folder, "%03d", i);
    const DiskVisit visit = {image, i, options.folders ? folder : nullptr};
    if (!enter_folders) {
      WalkDisk(visit, consumers, options.unicode_names, &entry_filter);
      continue;
    }
    const DiskOutcome outcome = WalkDiskInFolder(visit, consumers, options);
    if (outcome != DiskOutcome::kDone) ok = false;
    if (outcome == DiskOutcome::kStopRun) break;
  }
  return ok;
}

// Names the asked-for disk numbers that the image does not hold.
bool CheckDisksExist(const Options& options, int disk_count) {
  const DiskList& disks = options.disks;
  char missing[256] = "";
  for (int i = 0; i < disks.range_count; ++i) {
    const DiskRange& range = disks.ranges[i];
    if (range.last != DiskList::kToLastDisk && range.last < disk_count) continue;
    if (range.last == DiskList::kToLastDisk && range.first < disk_count) continue;
    const int first = range.first > disk_count ? range.first : disk_count;
    char part[40];
    if (range.last == DiskList::kToLastDisk) {
      std::snprintf(part, sizeof part, "%s%d-", missing[0] ? ", " : "", first);
    } else if (range.last == first) {
      std::snprintf(part, sizeof part, "%s%d", missing[0] ? ", " : "", first);
    } else {
      std::snprintf(part, sizeof part, "%s%d-%d", missing[0] ? ", " : "",
                    first, range.last);
    }
    std::strncat(missing, part, sizeof missing - std::strlen(missing) - 1);
  }
  if (missing[0] == '\0') return true;
  report::Note("no disk %s in \"%s\", which holds %d disk%s", missing,
               options.image_path, disk_count, disk_count == 1 ? "" : "s");
  return false;
}

// Fills the run's filter from --only. A pattern is matched against raw
// names, or with --unicode-names against decoded ones.
void TakePatterns(const Options& options) {
  entry_filter.Clear();
  const NamePatterns& only = options.only;
  for (int i = 0; i < only.count; ++i) {
    entry_filter.Add(only.text[i], options.unicode_names, only.text[i]);
  }
}

// A typed text value that is matched against raw names or stored as one,
// as the host's raw bytes (host::TypedTextAsRaw); nullptr, with a line
// naming the option, when it has no exact form there. Never a near one: a
// "?" in a pattern would match every entry it stood for.
const char* TakeRawText(const char* option, const char* text) {
  char* dest = raw_text + raw_text_used;
  if (!host::TypedTextAsRaw(text, dest, sizeof raw_text - raw_text_used)) {
    report::TypedTextNote(
        "cannot take --%s=%s: the system's code page has no exact form of "
        "it (--unicode-names takes it as Unicode)",
        option, text);
    return nullptr;
  }
  raw_text_used += std::strlen(dest) + 1;
  return dest;
}

bool TakeRawList(const char* option, const char** list, int count) {
  bool taken = true;
  for (int i = 0; i < count; ++i) {
    list[i] = TakeRawText(option, list[i]);
    if (list[i] == nullptr) taken = false;
  }
  return taken;
}

// Without --unicode-names the text values meet raw names, so they are taken
// as raw bytes; with it they stay UTF-8, which the run encodes to Shift_JIS
// as it decodes names. False when any cannot be taken: nothing is done.
bool TakeTextValues(Options& options) {
  raw_text_used = 0;
  if (options.unicode_names) return true;
  EditRequest& edits = options.edits;
  bool taken = TakeRawList("only", options.only.text, options.only.count);
  if (!TakeRawList("remove", edits.remove, edits.remove_count)) taken = false;
  if (!TakeRawList("rename", edits.rename, edits.rename_count)) taken = false;
  if (edits.disk_name != nullptr &&
      !TakeRawList("set-disk-name", &edits.disk_name, 1)) {
    taken = false;
  }
  return taken;
}

// Names each pattern that no entry of the disks taken matched.
bool CheckPatternsMatched() {
  bool all_matched = true;
  for (int i = 0; i < entry_filter.PatternCount(); ++i) {
    if (entry_filter.Matched(i)) continue;
    report::Note("no entry matches \"%s\"", entry_filter.Shown(i));
    all_matched = false;
  }
  return all_matched;
}

// The Japanese line, then one naming the path and the reason. An image
// path of "-d" is most likely the option typed first, where it is not one.
void NoteOpenError(const char* path) {
  report::RawError(kOpenError);
  const bool dash_d = std::strcmp(path, "-d") == 0;
  report::Note("cannot open \"%s\": %s%s", path,
               std::strerror(image.OpenError()),
               dash_d ? "; -d goes after the image path" : "");
}

// The positional rules pass over some arguments in silence; a user who
// typed them meant something, so each is named.
void NoteIgnoredArguments(const IgnoredArguments& ignored) {
  const int named = ignored.count < IgnoredArguments::kMaxNamed
                        ? ignored.count
                        : IgnoredArguments::kMaxNamed;
  for (int i = 0; i < named; ++i) {
    report::Note("argument \"%s\" ignored", ignored.text[i]);
  }
  const int more = ignored.count - named;
  if (more > 0) {
    report::Note("%d more argument%s ignored", more, more == 1 ? "" : "s");
  }
}

int Run(const Options& options) {
  if (!image.Open(options.image_path)) {
    NoteOpenError(options.image_path);
    return 1;
  }
  NoteIgnoredArguments(options.ignored);
  NoteNoDisk(image, options.image_path);
  Consumers all(options);
  const ConsumerList consumers = PickConsumers(all, options);
  // Only a run that writes host files creates anything, even the folder it
  // was given. A repack reads host files by their paths from here and
  // replaces the image, so it never leaves this folder.
  const bool writes = consumers.WritesHostFiles();
  if (writes && !host::EnterWorkFolder(options.output_folder)) {
    report::Note("cannot use folder \"%s\": %s",
                 options.output_folder != nullptr ? options.output_folder : ".",
                 host::FolderErrorText());
    host::ReturnToStartFolder();
    return 1;
  }
  consumers.BeginRun();
  bool ok = WalkDisks(consumers, options);
  if (!CheckDisksExist(options, image.DiskCount())) ok = false;
  // A repack's --add may match a pattern with a new host file, which it
  // only looks for at the end of the run.
  const bool late = options.mode == Mode::kRepack && options.edits.add;
  if (!late && !CheckPatternsMatched()) ok = false;
  consumers.EndRun();
  if (late && !CheckPatternsMatched()) ok = false;
  if (writes) host::ReturnToStartFolder();
  image.Open(nullptr);
  const RunStatus status = consumers.Status();
  return ok ? ExitStatusOf(status) : 1;
}

int RunCommandLine(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "d88unpack";
  const CommandLine line = ParseCommandLine(argc, argv);
  switch (line.outcome) {
    case CommandLineOutcome::kHelp:
      report::Help(program, OptionsHelpText());
      return 0;
    case CommandLineOutcome::kVersion:
      report::Version();
      return 0;
    case CommandLineOutcome::kBadOption:
      report::Note("%s", line.problem);
      report::Usage(program);
      return 1;
    case CommandLineOutcome::kNoImage:
      report::Usage(program);
      return 1;
    case CommandLineOutcome::kRun:
      break;
  }
  Options options = line.options;
  report::Configure(options.unicode_names);
  if (!TakeTextValues(options)) return 1;
  TakePatterns(options);
  return Run(options);
}

}  // namespace

// Whatever the run did, output that never arrived makes it a failure.
int RunTool(int argc, char** argv) {
  host::KeepRunningWhenReaderQuits();
  const int status = RunCommandLine(argc, argv);
  return report::FinishOutput() ? status : 1;
}

}  // namespace d88
