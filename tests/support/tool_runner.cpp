#include "tool_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace d88test {
namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

int ExitStatus(int system_result) {
#if defined(_WIN32)
  return system_result;
#else
  return WIFEXITED(system_result) ? WEXITSTATUS(system_result) : -1;
#endif
}

std::string ErrnoText(int error) {
  return std::to_string(error) + " (" + std::strerror(error) + ")";
}

// Under Wine the shell now and then fails to start the tool at all:
// std::system returns -1, or cmd.exe answers 9009 ("not recognized as a
// command") for a binary that is there. That is a hiccup of the host, not a
// result of the tool (which never exits with 9009), so the command is tried
// once more; either way the cause goes to standard error, which the test
// log shows.
#if defined(_WIN32)
constexpr int kShellCommandNotFound = 9009;
#endif

// The command goes to the shell as it is or, for a Unicode run on Windows,
// from UTF-8 to the wide shell call.
int System(const std::string& command, bool unicode) {
#if defined(_WIN32)
  if (unicode) {
    std::wstring wide(command.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1,
                                           wide.data(),
                                           static_cast<int>(wide.size()));
    if (length <= 0) return -1;
    return _wsystem(wide.c_str());
  }
#else
  (void)unicode;
#endif
  return std::system(command.c_str());
}

int RunCommand(const std::string& command, bool unicode) {
  errno = 0;
  const int result = System(command, unicode);
#if defined(_WIN32)
  if (result == -1 || result == kShellCommandNotFound) {
    const int first_error = errno;
    errno = 0;
    const int again = System(command, unicode);
    std::fprintf(stderr,
                 "tool_runner: std::system returned %d, errno %s; tried "
                 "again: %d, errno %s\n",
                 result, ErrnoText(first_error).c_str(), again,
                 ErrnoText(errno).c_str());
    return again;
  }
#endif
  if (result == -1) {
    std::fprintf(stderr, "tool_runner: std::system returned -1, errno %s\n",
                 ErrnoText(errno).c_str());
  }
  return result;
}

#if defined(_WIN32)

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1,
                                         wide.data(),
                                         static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
  return wide;
}

// The tool started straight, with no shell between: the pipe is made here
// and its reading end closed before the tool starts.
int StartIntoClosedPipe(const std::string& command, const fs::path& err) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  if (!CreatePipe(&reader, &writer, &inherited, 0)) return -1;
  CloseHandle(reader);
  const HANDLE errors =
      CreateFileW(err.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                  &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer;
  startup.hStdError = errors;
  std::wstring line = Wide(command);
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr,
                                      TRUE, 0, nullptr, nullptr, &startup,
                                      &process);
  CloseHandle(writer);
  CloseHandle(errors);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(status);
}

#else

// As a shell reports it: a process killed by a signal ends with 128 + it.
int StartIntoClosedPipe(const std::vector<std::string>& args,
                        const fs::path& err) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  close(ends[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

#endif

}  // namespace

// On Windows the path goes to cmd.exe, which wants backslashes. A cross-built
// test run under Wine was given the binary's Unix path, which Wine serves as
// drive Z:.
std::string ToolPath() {
  std::string path = D88UNPACK_PATH;
#if defined(_WIN32)
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

std::string ConsoleText(const std::string& text) {
#if defined(_WIN32)
  std::string crlf;
  for (const char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
#else
  return text;
#endif
}

#if defined(_WIN32)
std::string SystemErrorText(unsigned long error) {
  char text[256];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  if (message.size() >= 2 &&
      message.compare(message.size() - 2, 2, "\r\n") == 0) {
    message.resize(message.size() - 2);
  }
  if (!message.empty() && message.back() == '.') message.pop_back();
  return message;
}
#endif

std::string ListingLine(const std::string& name, int start_track,
                        int start_sector, int end_track, int end_sector,
                        int size) {
  char line[128];
  std::snprintf(line, sizeof line,
                "%-6s   START:%02x %02x    END:%02x %02x   SIZE:%04x\n",
                name.c_str(), static_cast<unsigned>(start_track),
                static_cast<unsigned>(start_sector),
                static_cast<unsigned>(end_track),
                static_cast<unsigned>(end_sector), static_cast<unsigned>(size));
  return line;
}

bool HostTakesShiftJisNames() {
#if defined(_WIN32)
  return GetACP() == 932;
#else
  return true;
#endif
}

TypedText HostTypedJapanese() {
#if defined(_WIN32)
  return GetACP() == 932 ? TypedText::kShiftJis : TypedText::kRefused;
#else
  return TypedText::kUtf8Bytes;
#endif
}

ToolRunner::ToolRunner() : work_(scratch_.path() / "work") {
  fs::create_directories(work_);
}

std::string ToolRunner::WriteImage(const Bytes& image) const {
  return scratch_.Write("image.d88", image).string();
}

ToolRun ToolRunner::Run(const std::vector<std::string>& args) const {
  return RunWith(args, false);
}

ToolRun ToolRunner::RunUnicode(const std::vector<std::string>& utf8_args) const {
  return RunWith(utf8_args, true);
}

ToolRun ToolRunner::RunWith(const std::vector<std::string>& args,
                            bool unicode) const {
  const fs::path out = scratch_.path() / "stdout";
  const fs::path err = scratch_.path() / "stderr";
  std::string command = shell_prefix_ + Quoted(ToolPath());
  for (const std::string& arg : args) command += " " + Quoted(arg);
  command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string());
#if defined(_WIN32)
  // std::system hands the line to "cmd /c", which drops the first and the
  // last quote of a line that starts with one; these two are its to drop.
  command = Quoted(command);
#endif
  const fs::path before = fs::current_path();
  fs::current_path(work_);
  ToolRun run;
  run.status = ExitStatus(RunCommand(command, unicode));
  fs::current_path(before);
  run.out = ReadFileText(out);
  run.err = ReadFileText(err);
  run.tree = ReadTree(work_);
  return run;
}

ToolRun ToolRunner::RunIntoClosedPipe(
    const std::vector<std::string>& utf8_args) const {
  const fs::path err = scratch_.path() / "stderr";
  const fs::path before = fs::current_path();
  fs::current_path(work_);
  ToolRun run;
#if defined(_WIN32)
  std::string command = Quoted(ToolPath());
  for (const std::string& arg : utf8_args) command += " " + Quoted(arg);
  run.status = StartIntoClosedPipe(command, err);
#else
  std::vector<std::string> args{ToolPath()};
  args.insert(args.end(), utf8_args.begin(), utf8_args.end());
  run.status = StartIntoClosedPipe(args, err);
#endif
  fs::current_path(before);
  run.err = ReadFileText(err);
  run.tree = ReadTree(work_);
  return run;
}

ToolRun ToolRunner::RunOn(const Bytes& image,
                          const std::vector<std::string>& extra) const {
  std::vector<std::string> args{WriteImage(image)};
  args.insert(args.end(), extra.begin(), extra.end());
  return Run(args);
}

}  // namespace d88test
