// Writes the seed corpus into a folder:  vesk_make_corpus fuzz/corpus
// (from the build: build/release/fuzz/vesk_make_corpus). Files of other names there
// are left alone.
#include <cstdio>

#include "seeds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  int written = 0;
  for (const vesk::fuzz::Seed& seed : vesk::fuzz::seed_hives()) {
    const std::string path = std::string(argv[1]) + "/" + seed.name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), f) !=
                            seed.bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      if (f != nullptr) std::fclose(f);
      return 1;
    }
    std::fclose(f);
    ++written;
  }
  std::printf("%d seeds written to %s\n", written, argv[1]);
  return 0;
}
