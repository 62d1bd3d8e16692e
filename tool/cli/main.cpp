#include "cli/driver.h"

int main(int argc, char** argv) { return d88::RunTool(argc, argv); }
