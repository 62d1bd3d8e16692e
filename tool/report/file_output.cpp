#include "report/file_output.h"

#include "host/host.h"
#include "report/reporter.h"

namespace d88 {

OutputOutcome WriteOutputFile(const char* label, const char* name,
                              bool utf8_name, const std::uint8_t* data,
                              std::size_t data_size, std::size_t file_size,
                              OldFiles old_files) {
  const host::Existing existing = old_files == OldFiles::kReplace
                                      ? host::Existing::kReplace
                                      : host::Existing::kKeep;
  if (host::WriteFile(name, utf8_name, data, data_size, file_size, existing)) {
    return OutputOutcome::kWritten;
  }
  if (existing == host::Existing::kKeep && host::FileWasInTheWay()) {
    if (old_files == OldFiles::kSkip) return OutputOutcome::kLeftAlone;
    report::Note("%s: not replaced: something of that name exists", label);
    return OutputOutcome::kFailed;
  }
  report::Note("cannot write file \"%s\": %s", label, host::FileErrorText());
  return OutputOutcome::kFailed;
}

}  // namespace d88
