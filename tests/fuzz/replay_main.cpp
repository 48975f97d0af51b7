// Replays a fuzz target's kept corpus without libFuzzer, so the ordinary test
// run (any compiler) goes over every input that once mattered.
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    DIR* dir = opendir(argv[i]);
    if (!dir) {
      std::fprintf(stderr, "replay: cannot open %s\n", argv[i]);
      return 1;
    }
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      const std::string path = std::string(argv[i]) + "/" + entry->d_name;
      FILE* f = std::fopen(path.c_str(), "rb");
      if (!f) continue;
      std::vector<std::uint8_t> bytes;
      std::uint8_t buffer[4096];
      std::size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
      std::fclose(f);
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++files;
    }
    closedir(dir);
  }
  std::printf("replayed %d inputs\n", files);
  return files > 0 ? 0 : 1;
}
