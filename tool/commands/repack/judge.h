// Which host file belongs to which entry, and whether it goes back into
// the entry's own sectors, must move, stays as it is or is refused.
#pragma once

#include <cstdint>

#include "d88_image.h"

namespace d88 {
namespace repack {

// Gives each host file to the one claim that owns it.
void FindOwners();

enum class Verdict {
  kLeftAlone,  // what an extraction writes, or nothing there
  kAccepted,   // goes back into its entry's own sectors
  kRelocate,   // does not fit its entry's run: moves, if asked to
  kRefused,    // said why on standard error, or could not be read
};
struct Judgement {
  Verdict verdict;
  std::int32_t host_size;
};

// Looks at the host file of one owning claim.
Judgement Consider(D88Image& image, int claim);

// Two accepted files whose runs meet in the same bytes of the image cannot
// both go back; neither does. Says so for each; false when any was refused.
bool RefuseOverlaps();

// Notes the files that go back shorter than their entries.
void NoteShortFiles();

}  // namespace repack
}  // namespace d88
