// The few things the tool asks of the host: folders, host files, console
// text and the text of the host's last error. One implementation per host
// sits behind these calls, so the rest of the tool is the same code on POSIX
// and Windows.
//
// Paths are narrow "host text": on POSIX the bytes the user typed, and on
// Windows UTF-8, taken from the Unicode command line and handed to the
// wide-character calls, so that a path the ANSI code page cannot hold works
// like any other. Never does a path go through the ANSI calls, which would
// quietly turn a letter the code page lacks into a near one (another file)
// or into '?'.
//
// File names from a disk are raw bytes in the image's own character set
// (Shift_JIS on the machines these disks come from), or UTF-8 when decoded
// with --unicode-names. On Windows a raw name is read under the ANSI code
// page, as the ANSI calls would read it, and then goes through the wide
// calls too; NameInPath spells it as host text for a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "host/host_name.h"

namespace host {

// The rules this host applies to raw file names: on Windows they depend on
// the ANSI code page the names pass through.
d88::HostRules NameRules();

// The run's folders. The run starts where it was started, optionally moves
// into a work folder, and each disk's folder is entered from there and left
// again through a handle kept on the work folder, never through "..": a
// disk folder that is not what it seems cannot lead the run anywhere else.

// Makes path (and its missing parents) unless it is nullptr, enters it and
// keeps handles on the start and the work folder.
bool EnterWorkFolder(const char* path);
// Goes back to the folder the run started in and lets the handles go.
void ReturnToStartFolder();

enum class MakeOutcome { kMade, kExists, kFailed };
// Creates a folder in the working folder.
MakeOutcome MakeFolder(const char* name);
// Makes the named child folder the working folder. Refuses a symbolic link
// (or, on Windows, a reparse point): the run never follows one out.
bool EnterFolder(const char* name);
// Makes the work folder the working folder again.
bool ReturnToWorkFolder();
// The host's reason for the last failed folder call, as text.
const char* FolderErrorText();

// What WriteFile does with whatever already stands under the name.
enum class Existing {
  kReplace,  // a file, a link: replaced by the new file
  kKeep,     // anything at all (a file, a folder, a link, even one that
             // leads nowhere): left alone, and WriteFile fails
};

// Creates or replaces the file in the working folder, in binary: the first
// data_size bytes of data, then zeros up to file_size. The zeros are not
// written but left to the host as the file's new end, so a file system that
// can leaves them as a hole that takes no room. A link (or, on Windows, a
// reparse point) already there under the name is replaced by the new file,
// never written through. On failure no partial file is left behind.
bool WriteFile(const char* name, bool utf8_name, const std::uint8_t* data,
               std::size_t data_size, std::size_t file_size,
               Existing existing = Existing::kReplace);
// Whether the last failed WriteFile with Existing::kKeep failed only
// because something stood under the name.
bool FileWasInTheWay();
// What the host knows a file by, whatever name or spelling reaches it: the
// device and inode number on POSIX, the volume serial number and file index
// on Windows. Two names are one file exactly when their identities match,
// which no comparison of the names can tell on a host that folds case or
// normalises names in ways of its own.
struct FileIdentity {
  bool known;  // false: nothing stands there, or the host would not say
  std::uint64_t volume;
  std::uint64_t index;
};
// The identity of what path (from the working folder) names now.
FileIdentity IdentifyFile(const char* path);
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.volume == b.volume && a.index == b.index;
}
// The identity of the file the last WriteFile opened, taken from the open
// file itself, so that no second look-up by name can land elsewhere. It is
// known even when the write failed, and then names a file removed again.
// Not known when nothing was opened or the host would not say.
FileIdentity WrittenFileIdentity();

// The host's reason for the last failed WriteFile, as text.
const char* FileErrorText();

// Whether the stream goes to a terminal (on Windows, a console), where
// control bytes in the text can move the cursor, retitle the window or
// worse, rather than to a file or a pipe.
bool IsTerminal(std::FILE* stream);

// --- Reading host files back and replacing a file as a whole (--repack). ---
// Paths here are relative to the folder the run started in.

enum class ReadOutcome {
  kRead,     // size bytes are in dest; the file holds no more
  kTooLong,  // the file holds more than capacity bytes
  kAbsent,   // there is no such file
  kFailed,   // it is there but cannot be read; see FileErrorText
};
struct HostFileRead {
  ReadOutcome outcome;
  std::size_t size;
};
// Reads the whole named file into dest, which holds capacity bytes.
HostFileRead ReadWholeFile(const char* path, std::uint8_t* dest,
                           std::size_t capacity);

// A file name from a disk (raw, or UTF-8 with utf8_name) spelt as host text,
// to be joined to a path: on Windows a raw name is read under the ANSI code
// page. False when it does not fit in capacity bytes.
bool NameInPath(const char* name, bool utf8_name, char* dest,
                std::size_t capacity);

// True when path names an existing folder.
bool IsFolder(const char* path);

// Calls visit(context, name) for every plain file in the folder at path:
// not for folders, links (on Windows, reparse points) or devices. Names are
// raw bytes, or UTF-8 with utf8_names, and come in no particular order. On
// Windows a raw name is the file's name in the ANSI code page, and a file
// whose name that code page cannot spell exactly is passed over: under a
// near spelling it would be another file, or none.
// Returns false when the folder cannot be read.
using FileVisitor = void (*)(void* context, const char* name);
bool ListPlainFiles(const char* path, bool utf8_names, FileVisitor visit,
                    void* context);

// A new file beside the one it is to replace. The file is written whole
// under a temporary name in the same folder, flushed to the disk and only
// then renamed over the old one, and the folder flushed after it, so that
// the old file stays as it was until the new one is complete, whatever
// happens in between, and does not come back after a power loss.
//
// A path that is a symbolic link is followed, as editors do: the file the
// link resolves to is replaced, in its own folder, and the link stays a
// link to it. (On Windows a link is replaced as today; see README.) Other
// hard links to the old file keep the old file: the new one is a new file.
struct Replacement {
  std::FILE* stream;  // nullptr when it could not be started
  char temp_path[4096];
  char target_path[4096];  // the file replaced: path, or where it leads
};
// Makes the temporary file with the old file's permissions, under the
// first of target + ".d88unpack-tmp", ".d88unpack-tmp-2", ... that it can
// create anew: a name another run holds or a killed run left is passed
// over, never written to. Refuses a file that is read-only.
Replacement StartReplacement(const char* path);
// Flushes the new file to the disk, closes it, renames it over the target
// and flushes the target's folder. On failure the temporary file is
// removed and the target is untouched. path is the one StartReplacement
// was given; the replacement already holds where it leads.
bool FinishReplacement(const Replacement& replacement, const char* path);
// Closes and removes the temporary file; path is untouched.
void AbandonReplacement(const Replacement& replacement);

// Puts standard output in binary mode, so that bytes written to it arrive
// unchanged (on Windows, a text stream would turn LF into CR LF).
void UseBinaryOutput();

// The command line as the tool takes it. On Windows that is the Unicode
// command line, each argument as UTF-8: the ANSI argv has lost every
// character its code page lacks (a Japanese name typed under a Western code
// page arrives as "?", and "dāta.d88" as "data.d88", another file).
// Elsewhere it is argv as it is.
struct Arguments {
  int count;
  char** values;
};
Arguments CommandLineArguments(int argc, char** argv);

// Typed text (an --only pattern, a new entry or disk name) as raw bytes in
// the host's own character set, for comparing with or storing as a raw
// name: the bytes typed on POSIX, and on Windows the bytes of the ANSI code
// page. False when a character has no exact form there (it is never turned
// into a near one or '?') or the bytes do not fit in capacity.
bool TypedTextAsRaw(const char* text, char* dest, std::size_t capacity);

// Gives standard output a buffer of its own, so that text goes out in
// whole blocks: the Windows runtime otherwise hands a file, a pipe or a
// console each byte in a call of its own. Call before anything is written.
void BufferStandardOutput();

// Writes UTF-8 text to a console stream: as it is to a file or a pipe, and
// on a Windows console as characters, whatever the console's code page.
void WriteUtf8Text(std::FILE* stream, const char* text);

// --- A text file written piece by piece (the map's picture). ---

// Creates or replaces the file at path (host text), from the current
// folder. nullptr when it cannot be made; FileErrorText says why.
std::FILE* StartTextFile(const char* path);
// Closes the file made at path. When any of it was not written, removes it
// rather than leave it cut short and returns false (FileErrorText says why).
bool FinishTextFile(std::FILE* file, const char* path);

// Makes the stream, when it is a console, show colour codes as colours
// rather than as text. False when it is a console that cannot; a file, a
// pipe or a terminal takes them as they are.
bool EnableColorCodes(std::FILE* stream);

// --- Standard output's reader. ---

// Keeps the process alive when the reader of standard output quits early
// (POSIX sends SIGPIPE for a write to a pipe nobody reads, which would end
// the run with files still unwritten): such a write fails instead, with an
// error that ReaderHasGone recognises. Called once, before any output.
void KeepRunningWhenReaderQuits();
// Whether error, the errno of a failed write to standard output, means that
// its reader has gone (a pipe closed at the other end) rather than that the
// output was lost. The one place that decides it, for every host. Ask right
// after the failed write: on Windows, where the runtime says EINVAL for a
// closed pipe, only the system's own error, which the next call may
// change, tells it from other trouble.
bool ReaderHasGone(int error);
// Ends the process at once as a filter whose reader has gone ends: killed
// by SIGPIPE where the host has it (a shell shows status 141), else with
// exit status 141. For a run whose only work is its output.
[[noreturn]] void EndAsStoppedFilter();

}  // namespace host
