// The whole run of the tool: the command line, the image, and every disk in
// its own numbered folder (or all in the working folder with "-d").
#pragma once

namespace d88 {

// Returns the process exit status: 0 when every disk was entered and every
// file that could be read was written, 1 otherwise or after a usage or open
// error.
int RunTool(int argc, char** argv);

}  // namespace d88
