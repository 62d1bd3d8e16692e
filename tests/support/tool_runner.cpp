#include "tool_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
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

// With D88UNPACK_KEEP_IMAGES naming a folder, every image a test runs the
// tool on is also kept there, once per content (named by its FNV-1a hash),
// so that other builds of the tool can be run over the same images and
// compared with this one.
void KeepImage(const Bytes& image) {
  const char* folder = std::getenv("D88UNPACK_KEEP_IMAGES");
  if (folder == nullptr || folder[0] == '\0') return;
  std::uint64_t hash = 14695981039346656037ull;
  for (const std::uint8_t byte : image) {
    hash = (hash ^ byte) * 1099511628211ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.d88",
                static_cast<unsigned long long>(hash));
  std::ofstream out(fs::path(folder) / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
}

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
  KeepImage(image);
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

#if defined(_WIN32)

// A pipe's write end, inheritable, whose read end is closed, and a file for
// standard error; the tool starts in the work folder with both.
ToolRun ToolRunner::RunIntoClosedPipe(
    const std::vector<std::string>& args) const {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ToolRun run;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  CloseHandle(read_end);
  const fs::path err = scratch_.path() / "stderr";
  HANDLE err_file = CreateFileA(err.string().c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string command = Quoted(ToolPath());
  for (const std::string& arg : args) command += " " + Quoted(arg);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = err_file;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(
      nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
      work_.string().c_str(), &startup, &process);
  CloseHandle(write_end);
  CloseHandle(err_file);
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  run.err = ReadFileText(err);
  run.tree = ReadTree(work_);
  return run;
}

#else

ToolRun ToolRunner::RunIntoClosedPipe(
    const std::vector<std::string>& args) const {
  const std::string tool = ToolPath();
  std::vector<char*> argv{const_cast<char*>(tool.c_str())};
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const fs::path err = scratch_.path() / "stderr";
  int ends[2];
  ToolRun run;
  if (pipe(ends) != 0) return run;
  close(ends[0]);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGPIPE, SIG_DFL);  // as a shell starts a command
    const int err_file = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (chdir(work_.c_str()) != 0 || err_file < 0) _exit(126);
    dup2(ends[1], 1);
    dup2(err_file, 2);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(ends[1]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status =
      WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  run.err = ReadFileText(err);
  run.tree = ReadTree(work_);
  return run;
}

#endif

ToolRun ToolRunner::RunOn(const Bytes& image,
                          const std::vector<std::string>& extra) const {
  std::vector<std::string> args{WriteImage(image)};
  args.insert(args.end(), extra.begin(), extra.end());
  return Run(args);
}

}  // namespace d88test
