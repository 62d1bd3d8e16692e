// End-to-end tests of the console streams themselves, which the usual runner
// always sends to files: standard output that cannot be written, and
// standard output or standard error on a terminal. The built binary runs in
// a child process with its streams set up by hand; a pseudo-terminal stands
// for the terminal.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::FileSystemDisk;
using d88test::ToolRunner;

// Where a child's stream goes: a descriptor of the parent's, or nowhere
// (the stream is closed).
constexpr int kClosed = -1;

struct Streams {
  int out;
  int err;
  bool ignore_sigpipe = false;
};

// Runs the tool with args in folder and returns its exit status, or minus
// the signal that ended it.
int RunChild(const std::vector<std::string>& args,
             const std::filesystem::path& folder, const Streams& streams) {
  const std::string tool = d88test::ToolPath();
  std::vector<char*> argv{const_cast<char*>(tool.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (streams.ignore_sigpipe) signal(SIGPIPE, SIG_IGN);
    if (streams.out == kClosed) close(1); else dup2(streams.out, 1);
    if (streams.err == kClosed) close(2); else dup2(streams.err, 2);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// A file beside the work folder for a stream to go to, and what it got.
int OpenStreamFile(const ToolRunner& runner, const char* name) {
  return open((runner.work().parent_path() / name).c_str(),
              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

std::string StreamFileText(const ToolRunner& runner, const char* name) {
  return d88test::ReadFileText(runner.work().parent_path() / name);
}

struct OutputCase {
  const char* what;
  int (*open_out)();  // the child's standard output
  bool ignore_sigpipe;
  int status;
  std::string err;
};

int OpenFull() { return open("/dev/full", O_WRONLY | O_CLOEXEC); }
int Closed() { return kClosed; }
// A pipe whose reader has already gone.
int PipeWithoutReader() {
  int ends[2];
  if (pipe(ends) != 0) return kClosed;
  close(ends[0]);
  return ends[1];
}

// Output lost to a full disk or a closed stream ends the run with status 1
// and a line on standard error, after the files were all written; a reader
// that quit early is no failure. The run lists less than stdio's buffer, so
// the loss shows only when the output is flushed at the end.
TEST(ConsoleTest, OutputThatCannotBeWritten) {
  const OutputCase cases[] = {
      {"full disk", OpenFull, false, 1,
       "d88unpack: cannot write standard output: No space left on device\n"},
      {"closed", Closed, false, 1,
       "d88unpack: cannot write standard output: Bad file descriptor\n"},
      {"reader gone", PipeWithoutReader, false, 0, ""},
  };
  FileSystemDisk disk("DISK");
  disk.AddEntry("FILE", 2, 1, 2, 1);
  for (const OutputCase& c : cases) {
    const ToolRunner runner;
    const std::string image = runner.WriteImage(disk.Build());
    const int out = c.open_out();
    const int err = OpenStreamFile(runner, "err");
    const int status =
        RunChild({image}, runner.work(), {out, err, c.ignore_sigpipe});
    if (out != kClosed) close(out);
    close(err);
    EXPECT_EQ(status, c.status) << c.what;
    EXPECT_EQ(StreamFileText(runner, "err"), c.err) << c.what;
    EXPECT_EQ(d88test::ReadFileText(runner.work() / "000" / "FILE"),
              AsText(d88test::SectorPattern(2, 1)))
        << c.what;
  }
}

// File bytes on standard output are lost the same way: a full disk fails
// the run (the file is larger than stdio's buffer, so the loss shows while
// writing); when the reader quits, the run stops as a filter does, by
// SIGPIPE, whether or not it was started with the signal ignored.
TEST(ConsoleTest, FileBytesThatCannotBeWritten) {
  const OutputCase cases[] = {
      {"full disk", OpenFull, false, 1,
       "d88unpack: cannot write standard output: No space left on device\n"},
      {"reader gone", PipeWithoutReader, false, -SIGPIPE, ""},
      {"reader gone, SIGPIPE ignored", PipeWithoutReader, true, -SIGPIPE, ""},
  };
  FileSystemDisk disk("DISK");
  disk.AddEntry("FILE", 2, 1, 3, 5).AddEntry("MORE", 4, 1, 4, 1);
  for (const OutputCase& c : cases) {
    const ToolRunner runner;
    const std::string image = runner.WriteImage(disk.Build());
    const int out = c.open_out();
    const int err = OpenStreamFile(runner, "err");
    const int status = RunChild({image, "--to-stdout"}, runner.work(),
                                {out, err, c.ignore_sigpipe});
    close(out);
    close(err);
    EXPECT_EQ(status, c.status) << c.what;
    EXPECT_EQ(StreamFileText(runner, "err"), c.err) << c.what;
    EXPECT_TRUE(d88test::ReadTree(runner.work()).empty()) << c.what;
  }
}

// A pseudo-terminal whose line discipline passes bytes as they are, so that
// what the tool wrote is what the test reads.
struct Terminal {
  int controller = -1;
  int device = -1;
};

Terminal OpenTerminal() {
  Terminal terminal;
  terminal.controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal.controller < 0 || grantpt(terminal.controller) != 0 ||
      unlockpt(terminal.controller) != 0) {
    return terminal;
  }
  terminal.device =
      open(ptsname(terminal.controller), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings;
  if (terminal.device >= 0 && tcgetattr(terminal.device, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(terminal.device, TCSANOW, &settings);
  }
  return terminal;
}

// Everything the terminal got, once nothing holds its device open any more
// (reading then fails with EIO). It is read after the child ended: the
// runs here print far less than the terminal holds, so the child never
// waits for a reader.
std::string DrainTerminal(int controller) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(controller, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

std::string Listing(const std::string& name, int track, int r) {
  return d88test::ListingLine(name, track, r, track, r, 0x400);
}

struct TerminalCase {
  const char* what;
  bool out_on_terminal;
  bool err_on_terminal;
};

// Names with control bytes (an escape sequence, a bell, DEL) appear with
// '?' for each control byte on the stream that is a terminal, and byte for
// byte on the one that is a file; the host files keep their exact names.
TEST(ConsoleTest, ControlBytesInNamesOnATerminal) {
  const std::string disk_name = "\x1B[2J\x07" "DISK";
  const std::string plain = "A\x1B[1m";
  const std::string erased = "\x7F\x01Z";
  const std::string blocked = "B\x1B]0";
  FileSystemDisk disk(disk_name);
  disk.AddEntry(plain, 2, 1, 2, 1)
      .AddEntry(erased, 2, 2, 2, 2)
      .AddEntry(blocked, 2, 3, 2, 3);
  const std::string raw_out = "\n[" + disk_name + "] -> 000\n" +
                              Listing(plain, 2, 1) + Listing(erased, 2, 2) +
                              Listing(blocked, 2, 3);
  const std::string shown_out = "\n[?[2J?DISK] -> 000\n" +
                                Listing("A?[1m", 2, 1) + Listing("??Z", 2, 2) +
                                Listing("B?]0", 2, 3);
  const std::string raw_err =
      "d88unpack: cannot write file \"000/" + blocked + "\": Is a directory\n";
  const std::string shown_err =
      "d88unpack: cannot write file \"000/B?]0\": Is a directory\n";
  const TerminalCase cases[] = {{"output", true, false},
                                {"errors", false, true},
                                {"both", true, true}};
  for (const TerminalCase& c : cases) {
    const ToolRunner runner;
    std::filesystem::create_directories(runner.work() / "000" / blocked);
    const std::string image = runner.WriteImage(disk.Build());
    const Terminal terminal = OpenTerminal();
    ASSERT_GE(terminal.device, 0) << "no pseudo-terminal";
    const int out = c.out_on_terminal ? terminal.device
                                      : OpenStreamFile(runner, "out");
    const int err = c.err_on_terminal ? terminal.device
                                      : OpenStreamFile(runner, "err");
    const int status = RunChild({image}, runner.work(), {out, err});
    close(terminal.device);
    if (!c.out_on_terminal) close(out);
    if (!c.err_on_terminal) close(err);
    const std::string on_terminal = DrainTerminal(terminal.controller);
    close(terminal.controller);
    EXPECT_EQ(status, 1) << c.what;
    if (!c.out_on_terminal) {
      EXPECT_EQ(StreamFileText(runner, "out"), raw_out) << c.what;
    }
    if (!c.err_on_terminal) {
      EXPECT_EQ(StreamFileText(runner, "err"), raw_err) << c.what;
    }
    // Standard output goes out in full before a line on standard error.
    const std::string expected_terminal =
        (c.out_on_terminal ? shown_out : "") + (c.err_on_terminal ? shown_err : "");
    EXPECT_EQ(on_terminal, expected_terminal) << c.what;
    EXPECT_EQ(d88test::ReadFileText(runner.work() / "000" / plain),
              AsText(d88test::SectorPattern(2, 1)))
        << c.what;
    EXPECT_EQ(d88test::ReadFileText(runner.work() / "000" / erased),
              AsText(d88test::SectorPattern(2, 2)))
        << c.what;
  }
}

}  // namespace

#endif
