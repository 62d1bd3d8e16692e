// Prints the tool's table of options, one line per option, for the test
// that holds the bash completion and the man page to it:
//   NAME VALUE COMPLETION [CHOICE...]
// VALUE is none, required or attached; COMPLETION is nothing, folder, file
// or choices, followed by the choices.
#include <cstdio>

#include "cli/options.h"

namespace {

const char* ValueWord(d88::OptionValue value) {
  switch (value) {
    case d88::OptionValue::kNone: return "none";
    case d88::OptionValue::kRequired: return "required";
    case d88::OptionValue::kAttached: return "attached";
  }
  return "?";
}

const char* CompletionWord(d88::OptionCompletion completion) {
  switch (completion) {
    case d88::OptionCompletion::kNothing: return "nothing";
    case d88::OptionCompletion::kFolder: return "folder";
    case d88::OptionCompletion::kFile: return "file";
    case d88::OptionCompletion::kChoices: return "choices";
  }
  return "?";
}

}  // namespace

int main() {
  for (int i = 0; i < d88::OptionCount(); ++i) {
    const d88::OptionDescription& option = d88::DescribeOption(i);
    std::printf("%s %s %s%s%s\n", option.name, ValueWord(option.value),
                CompletionWord(option.completion),
                option.choices != nullptr ? " " : "",
                option.choices != nullptr ? option.choices : "");
  }
  return 0;
}
