#include "tool_runner.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <sys/wait.h>
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

}  // namespace

std::string ToolPath() { return D88UNPACK_PATH; }

ToolRunner::ToolRunner() : work_(scratch_.path() / "work") {
  fs::create_directories(work_);
}

std::string ToolRunner::WriteImage(const Bytes& image) const {
  return scratch_.Write("image.d88", image).string();
}

ToolRun ToolRunner::Run(const std::vector<std::string>& args) const {
  const fs::path out = scratch_.path() / "stdout";
  const fs::path err = scratch_.path() / "stderr";
  std::string command = Quoted(ToolPath());
  for (const std::string& arg : args) command += " " + Quoted(arg);
  command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string());
  const fs::path before = fs::current_path();
  fs::current_path(work_);
  ToolRun run;
  run.status = ExitStatus(std::system(command.c_str()));
  fs::current_path(before);
  run.out = ReadFileText(out);
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
