#include "cli/driver.h"
#include "host/host.h"

// The host's own spelling of the command line, which on some hosts is not
// argv, and its standard output in whole blocks, before anything is
// written. A test or a fuzzer hands RunTool an argv of its own.
int main(int argc, char** argv) {
  host::BufferStandardOutput();
  const host::Arguments arguments = host::CommandLineArguments(argc, argv);
  return d88::RunTool(arguments.count, arguments.values);
}
