// libFuzzer target for the walk of the disks and the consumers that write
// nothing: every input is the bytes of one image file, and the tool reads
// it in one of eight ways, picked by the input's length modulo 8: --list,
// --list --json, --info, --info --json, --test, --test --json, --map with
// --map-svg, --map --json. The image, the output and the SVG picture are
// files in memory (see MemoryFile), so an input costs no file system
// entry; JSON must be valid, the SVG picture whole, and nothing may appear
// in the working folder or beside it.
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

d88fuzz::MemoryFile& Image() {
  static d88fuzz::MemoryFile file("d88unpack-fuzz-image");
  return file;
}

d88fuzz::MemoryFile& Svg() {
  static d88fuzz::MemoryFile file("d88unpack-fuzz-map.svg");
  return file;
}

// A picture is written whole or not at all. The tool opens the file anew
// for writing, which empties it first.
void CheckSvg() {
  const std::string& text = Svg().Read();
  if (text.empty()) return;
  Svg().Put(nullptr, 0);
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

// The working folder is made once and stays: no input may leave anything
// in it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  Image().Put(data, size);
  d88fuzz::EnterEmptyWorkFolder();
  const Way& way = kWays[size % 8];
  std::vector<std::string> arguments = way.options;
  if (way.svg) arguments.push_back(Svg().Path());
  arguments.push_back(Image().Path());
  const std::string& output = d88fuzz::RunToolIntoMemory(arguments);
  d88fuzz::CheckStillInWorkFolder();
  d88fuzz::CheckNothingEscaped();
  CheckWorkFolderEmpty();
  if (way.json) d88fuzz::CheckJson(output);
  if (way.svg) CheckSvg();
  d88fuzz::ReturnToStart();
  return 0;
}
