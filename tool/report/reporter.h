// Every line the tool prints goes through here: the per-disk line and the
// listing line on standard output, notes and errors on standard error.
//
// Keeping them in one place keeps two things right everywhere. Order: the
// two streams may share one console, so whatever standard output holds goes
// out before a line on standard error. Names: disk and file names are raw
// bytes from the disk (Shift_JIS on the machines these disks come from);
// with --unicode-names they are decoded before they are shown. On a
// terminal their control bytes are shown as '?', so that a crafted name
// cannot drive the terminal; files and pipes get the exact bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disk/file_system.h"

namespace d88 {
namespace report {

// Sets how names are shown for the rest of the run.
void Configure(bool unicode_names);

// A name made ready to be shown: decoded, or the raw bytes as they are.
struct ShownName {
  char text[64];
};
ShownName ShowName(const char* raw_name);
// The same as a line on standard output shows it: on a terminal, control
// bytes become '?'.
ShownName ShowNameOnOutput(const char* raw_name);

// "\n[NAME] -> 000\n"
void DiskLine(const char* raw_disk_name, const char* folder);
// "NAME     START:02 01    END:03 02   SIZE:1c00\n"
void ListingLine(const DirEntry& entry, std::int32_t size);
// A listing line for a piece that is no entry, such as
// "unclaimed-02-05 START:02 05    END:03 01   SIZE:0800\n"; the name is
// plain ASCII and shown as it is.
void PieceLine(const char* name, SectorAddress start, SectorAddress end,
               std::int32_t size);
// Text on standard output exactly as it is, of any length.
void RawText(const char* text);

// The formatted text on standard output, as it is (--info's lines).
void Text(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// "repacked 000/MSG (3072 bytes)\n": a host file written back into the
// image, by its path from the start folder and its own size.
void RepackedLine(const char* path, long size);
// "relocated 000/MSG (4096 bytes) START:05 01 END:05 04\n": one change a
// repack made to a disk, what it changed and, if any, how.
void ChangeLine(const char* verb, const char* what, const char* detail);

// Exact bytes on standard output (a file's content, --to-stdout). After a
// failed write nothing more is tried: FinishOutput reports it.
void Bytes(const std::uint8_t* data, std::size_t size);

// "d88unpack: " + the formatted text + "\n" on standard error.
void Note(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Note's line for a note that quotes typed text as UTF-8 (as the command
// line gives it on a host whose command line is Unicode): shown as
// characters on a console whatever --unicode-names says.
void TypedTextNote(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Exact bytes on standard error, after whatever standard output holds.
void RawError(const char* text);

// From now on, a reader of standard output that quits ends the process at
// once, as a filter stopped by its reader (see host::EndAsStoppedFilter).
// For a run whose output is its whole work; every other run goes on with
// its files, its output lost, as nobody reads it.
void StopWhenReaderQuits();

// Flushes standard output and says on standard error when anything written
// there was lost (a full disk, a closed stream), so that such a run does not
// end as a success: returns false then. A reader that quit early (see
// host::ReaderHasGone) is no failure and is not reported.
bool FinishOutput();

// The usage line and, after it, where to find more.
void Usage(const char* program);
// options_text: one line per option.
void Help(const char* program, const char* options_text);
void Version();

}  // namespace report
}  // namespace d88
