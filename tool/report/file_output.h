// Writing one host file and saying what became of it, the same way for
// every piece an extraction writes: the entries' files and the pieces no
// file claims.
#pragma once

#include <cstddef>
#include <cstdint>

namespace d88 {

// What an extraction does when something (a file, a folder, a link) already
// stands under a file's name, a file written earlier in the run included.
enum class OldFiles {
  kReplace,  // replaces it, as extractions always have
  kKeep,     // leaves it, says so and ends the run with status 1
  kSkip,     // leaves it without a word
};

enum class OutputOutcome {
  kWritten,
  kLeftAlone,  // something stood under the name and old_files kept it
  kFailed,     // the host refused the file; said on standard error
};

// Writes name in the working folder (data_size bytes of data, then zeros up
// to file_size). label names the file in the notes ("000/GAME").
OutputOutcome WriteOutputFile(const char* label, const char* name,
                              bool utf8_name, const std::uint8_t* data,
                              std::size_t data_size, std::size_t file_size,
                              OldFiles old_files);

}  // namespace d88
