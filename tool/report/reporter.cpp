#include "report/reporter.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/host.h"
#include "host/shift_jis.h"

#ifndef D88UNPACK_VERSION
#define D88UNPACK_VERSION "0.0.0"
#endif

namespace d88 {
namespace report {
namespace {

bool decode_names = false;
bool output_is_terminal = false;
bool errors_are_terminal = false;
// Why writing standard output first failed, as errno said right then: a
// later call may change errno before the run ends. Whether that was its
// reader going away is judged right then too, while the host still holds
// its own account of the failure.
int output_error = 0;
bool reader_gone = false;
// Set for a run whose output is its whole work (--to-stdout): once the
// reader has gone there is nothing left to do.
bool stop_when_reader_quits = false;

void KeepOutputError() {
  if (output_error != 0 || !std::ferror(stdout)) return;
  output_error = errno != 0 ? errno : EIO;
  reader_gone = host::ReaderHasGone(output_error);
  if (stop_when_reader_quits && reader_gone) host::EndAsStoppedFilter();
}

void FlushOutput() {
  std::fflush(stdout);
  KeepOutputError();
}

// Text that holds decoded names is UTF-8; the host shows it right on a
// console whatever the console's code page. Raw names go out byte for byte.
// A terminal sees each line as it is printed, whatever buffer the host
// gave standard output; a file or a pipe gets it in blocks.
void Emit(std::FILE* stream, const char* text) {
  if (decode_names) {
    host::WriteUtf8Text(stream, text);
  } else {
    std::fputs(text, stream);
  }
  if (stream != stdout) return;
  if (output_is_terminal) std::fflush(stdout);
  KeepOutputError();
}

// Control bytes as '?', as a directory listing shows them on a terminal.
// Neither Shift_JIS nor UTF-8 uses these bytes inside a character, so no
// character is cut.
void ReplaceControlBytes(char* text) {
  for (char* c = text; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) *c = '?';
  }
}

// The name column is six bytes wide in the raw name's bytes: a Shift_JIS
// character takes as many columns as it has bytes, whatever it is decoded to.
void EmitListingLine(const char* shown_name, int raw_length, SectorAddress start,
                     SectorAddress end, std::int32_t size) {
  const int padding = kEntryNameLength - raw_length;
  char line[160];
  std::snprintf(line, sizeof line,
                "%s%*s   START:%02x %02x    END:%02x %02x   SIZE:%04x\n",
                shown_name, padding > 0 ? padding : 0, "",
                static_cast<unsigned>(start.track),
                static_cast<unsigned>(start.sector),
                static_cast<unsigned>(end.track),
                static_cast<unsigned>(end.sector),
                static_cast<unsigned>(static_cast<std::uint32_t>(size)));
  Emit(stdout, line);
}

}  // namespace

ShownName ShowNameOnOutput(const char* raw_name) {
  ShownName shown = ShowName(raw_name);
  if (output_is_terminal) ReplaceControlBytes(shown.text);
  return shown;
}

void StopWhenReaderQuits() { stop_when_reader_quits = true; }

void Configure(bool unicode_names) {
  decode_names = unicode_names;
  output_is_terminal = host::IsTerminal(stdout);
  errors_are_terminal = host::IsTerminal(stderr);
}

ShownName ShowName(const char* raw_name) {
  ShownName shown = {};
  if (decode_names) {
    ShiftJisToUtf8(raw_name, std::strlen(raw_name), shown.text,
                   sizeof shown.text);
  } else {
    std::snprintf(shown.text, sizeof shown.text, "%s", raw_name);
  }
  return shown;
}

void DiskLine(const char* raw_disk_name, const char* folder) {
  char line[160];
  std::snprintf(line, sizeof line, "\n[%s] -> %s\n",
                ShowNameOnOutput(raw_disk_name).text, folder);
  Emit(stdout, line);
}

void ListingLine(const DirEntry& entry, std::int32_t size) {
  EmitListingLine(ShowNameOnOutput(entry.name).text,
                  static_cast<int>(std::strlen(entry.name)),
                  {entry.start_track, entry.start_sector},
                  {entry.end_track, entry.end_sector}, size);
}

void PieceLine(const char* name, SectorAddress start, SectorAddress end,
               std::int32_t size) {
  EmitListingLine(name, static_cast<int>(std::strlen(name)), start, end, size);
}

void RawText(const char* text) { Emit(stdout, text); }

void Text(const char* format, ...) {
  char line[256];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  Emit(stdout, line);
}

void RepackedLine(const char* path, long size) {
  char line[4400];
  std::snprintf(line, sizeof line, "repacked %s (%ld bytes)\n", path, size);
  Emit(stdout, line);
}

void Bytes(const std::uint8_t* data, std::size_t size) {
  if (output_error != 0) return;
  std::fwrite(data, 1, size, stdout);
  KeepOutputError();
}

void ChangeLine(const char* verb, const char* what, const char* detail) {
  char line[8800];
  std::snprintf(line, sizeof line, "%s %s%s%s\n", verb, what,
                detail[0] != '\0' ? " " : "", detail);
  Emit(stdout, line);
}

namespace {

struct NoteLine {
  char text[512];
};

NoteLine FormatNote(const char* format, std::va_list arguments) {
  NoteLine line;
  const int used = std::snprintf(line.text, sizeof line.text, "d88unpack: ");
  std::vsnprintf(line.text + used,
                 sizeof line.text - static_cast<std::size_t>(used) - 1, format,
                 arguments);
  // The names a note quotes are shown as the terminal's own lines show them.
  if (errors_are_terminal) ReplaceControlBytes(line.text);
  std::strcat(line.text, "\n");
  FlushOutput();
  return line;
}

}  // namespace

void Note(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const NoteLine line = FormatNote(format, arguments);
  va_end(arguments);
  Emit(stderr, line.text);
}

void TypedTextNote(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const NoteLine line = FormatNote(format, arguments);
  va_end(arguments);
  host::WriteUtf8Text(stderr, line.text);
}

void RawError(const char* text) {
  FlushOutput();
  std::fputs(text, stderr);
}

bool FinishOutput() {
  FlushOutput();
  if (output_error == 0 || reader_gone) return true;
  Note("cannot write standard output: %s", std::strerror(output_error));
  return false;
}

void Usage(const char* program) {
  FlushOutput();
  std::fprintf(stderr, "Usage: %s [d88file] [-d]\n", program);
  std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
}

void Help(const char* program, const char* options_text) {
  std::printf("Usage: %s [d88file] [-d]\n", program);
  std::printf(
      "\n"
      "Lists and extracts the files of every disk in a D88 disk image.\n"
      "The image path is required. Each disk's files go into a folder named\n"
      "by the disk's number (000, 001, ...) in the current folder; with -d\n"
      "they all go into the current folder itself.\n"
      "\n"
      "Options may stand anywhere; \"--\" ends them.\n"
      "%s"
      "\n"
      "Exit status: 0 when everything asked for was done; 1 after a usage\n"
      "error, when the image cannot be opened, when a folder, a file or\n"
      "standard output cannot be written, when a disk asked for is not in\n"
      "the image, when an --only or --remove pattern matches no entry, when\n"
      "--keep-old-files keeps a file, or when a repack refuses a change.\n"
      "With --test, 2 when a file is not whole, a sector header records\n"
      "trouble, or the image holds no disk, a bad disk header or a directory\n"
      "that is not whole.\n",
      options_text);
}

void Version() { std::printf("d88unpack %s\n", D88UNPACK_VERSION); }

}  // namespace report
}  // namespace d88
