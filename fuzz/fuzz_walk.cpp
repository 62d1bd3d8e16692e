// libFuzzer target for the walk of the disks and the consumers that write
// nothing: every input is the bytes of one image file, and the tool reads
// it in one of eight ways, picked by the input's length modulo 8: --list,
// --list --json, --info, --info --json, --test, --test --json, --map with
// --map-svg, --map --json. The output is caught in a file in the scratch
// folder (a RAM file system when TMPDIR says so); JSON must be valid, the
// SVG picture whole, and nothing may appear in the working folder or beside
// it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

using d88fuzz::Fail;
using d88fuzz::Paths;

struct Way {
  std::vector<std::string> options;
  bool json;
  bool svg;
};

const Way kWays[] = {
    {{"--list"}, false, false},          {{"--list", "--json"}, true, false},
    {{"--info"}, false, false},          {{"--info", "--json"}, true, false},
    {{"--test"}, false, false},          {{"--test", "--json"}, true, false},
    {{"--map", "--map-svg"}, false, true}, {{"--map", "--json"}, true, false},
};

std::string SvgPath() { return (Paths().folder / "map.svg").string(); }

// A picture is written whole or not at all.
void CheckSvg() {
  std::FILE* file = std::fopen(SvgPath().c_str(), "rb");
  if (file == nullptr) return;
  std::string text;
  char chunk[1 << 16];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    text.append(chunk, got);
  }
  std::fclose(file);
  std::remove(SvgPath().c_str());
  const std::string end = "</svg>\n";
  if (text.rfind("<svg", 0) != 0 && text.rfind("<?xml", 0) != 0) {
    Fail("the SVG picture does not start as one");
  }
  if (text.size() < end.size() ||
      text.compare(text.size() - end.size(), end.size(), end) != 0) {
    Fail("the SVG picture is cut short");
  }
}

void CheckWorkFolderEmpty() {
  std::error_code error;
  if (!d88fuzz::fs::is_empty(Paths().work, error) || error) {
    Fail("a consumer that writes nothing made a file");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  d88fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  d88fuzz::WriteImage(data, size);
  d88fuzz::EnterWorkFolder();
  const Way& way = kWays[size % 8];
  std::vector<std::string> arguments = way.options;
  if (way.svg) arguments.push_back(SvgPath());
  arguments.push_back(Paths().image.string());
  d88fuzz::RunTool(arguments, true);
  d88fuzz::CheckStillInWorkFolder();
  d88fuzz::CheckNothingEscaped({SvgPath()});
  CheckWorkFolderEmpty();
  if (way.json) d88fuzz::CheckJsonOutput();
  if (way.svg) CheckSvg();
  d88fuzz::LeaveWorkFolder();
  return 0;
}
