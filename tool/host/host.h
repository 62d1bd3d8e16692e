// The few things the tool asks of the host: folders, host files, console
// text and the text of the host's last error. One implementation per host
// sits behind these calls, so the rest of the tool is the same code on POSIX
// and Windows.
//
// Names are narrow byte strings. Raw names are in the image's own character
// set (Shift_JIS on the machines these disks come from); on Windows they go
// through the ANSI calls, which take them under the system code page. Names
// decoded with --unicode-names are UTF-8; on Windows they go through the
// wide-character calls, so they come out right whatever the code page.
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
FileIdentity IdentifyFile(const char* path, bool utf8_path);
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
HostFileRead ReadWholeFile(const char* path, bool utf8_path,
                           std::uint8_t* dest, std::size_t capacity);

// True when path names an existing folder.
bool IsFolder(const char* path);

// Calls visit(context, name) for every plain file in the folder at path:
// not for folders, links (on Windows, reparse points) or devices. Names are
// raw bytes, or UTF-8 with utf8_names, and come in no particular order.
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

// The command-line argument argv[index] as UTF-8, when the host keeps the
// command line in Unicode beside argv and the argument holds characters
// beyond ASCII; nullptr otherwise. On Windows argv is in the ANSI code page,
// which loses every character it lacks (a Japanese name typed under a
// Western code page arrives as "?"); the wide command line still has them.
// It is only used when it is the command line argv came from. The text
// stays valid until the next call.
const char* UnicodeArgument(int argc, char** argv, int index);

// Writes UTF-8 text to a console stream: as it is to a file or a pipe, and
// on a Windows console as characters, whatever the console's code page.
void WriteUtf8Text(std::FILE* stream, const char* text);

// --- A text file written piece by piece (the map's picture). ---

// Creates or replaces the file at path, from the current folder. nullptr
// when it cannot be made; FileErrorText says why.
std::FILE* StartTextFile(const char* path);
// Closes the file made at path. When any of it was not written, removes it
// rather than leave it cut short and returns false (FileErrorText says why).
bool FinishTextFile(std::FILE* file, const char* path);

// Makes the stream, when it is a console, show colour codes as colours
// rather than as text. False when it is a console that cannot; a file, a
// pipe or a terminal takes them as they are.
bool EnableColorCodes(std::FILE* stream);

}  // namespace host
