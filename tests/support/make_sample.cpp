// Writes a small two-disk D88 image to try the tool on:
//   make_sample sample.d88
// With --damaged, the image is one a worn disk could have given: a sector
// of POEM with a data CRC error, the last sector of GAME missing, and the
// sector of SCORES written with a deleted-data mark.
// With --rescue, one larger disk to look at with --map: files that share
// sectors, runs that break off, what deleted files left behind, damaged
// sectors and a track the imaging hardware could not read at all.
#include <cstdio>
#include <cstring>
#include <string>

#include "sample_images.h"

namespace {

bool WriteBytes(const char* path, const d88test::Bytes& image) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr || std::fwrite(image.data(), 1, image.size(), out) != image.size() ||
      std::fclose(out) != 0) {
    std::perror(path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool damaged = argc == 3 && std::strcmp(argv[1], "--damaged") == 0;
  const bool rescue = argc == 3 && std::strcmp(argv[1], "--rescue") == 0;
  if (argc != 2 && !damaged && !rescue) {
    std::fprintf(stderr, "Usage: %s [--damaged | --rescue] output.d88\n",
                 argv[0]);
    return 1;
  }
  const char* path = argv[argc - 1];
  const d88test::Bytes image =
      rescue ? d88test::RescueImage() : d88test::SampleImage(damaged);
  return WriteBytes(path, image) ? 0 : 1;
}
