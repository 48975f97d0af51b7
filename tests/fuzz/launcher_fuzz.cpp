// The launcher's command line and temp folder as any text.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "core/installer_paths.h"
#include "core/launcher_options.h"

namespace {

// Takes the first name it is offered, whatever the bytes.
class AnyFolder final : public core::FolderCreator {
 public:
  bool Random(unsigned char (&bytes)[core::kFolderRandomBytes]) override {
    for (unsigned char& b : bytes) b = 0xA5;
    return true;
  }
  unsigned long Create(const char*) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size) std::memcpy(text.get(), data, size);
  text[size] = '\0';

  char option[core::kOptionArea];
  const core::LaunchMode mode = core::ChooseLaunchMode(text.get(), option);
  if (std::strlen(option) > 2) __builtin_trap();
  if (mode == core::LaunchMode::Default && option[0] != '\0') __builtin_trap();

  char path[core::kPathArea];
  if (core::BuildInstallerPath(text.get(), path)) {
    char commandLine[core::kPathArea];
    for (bool quiet : {false, true})
      if (core::BuildInstallerCommandLine(path, quiet, commandLine) &&
          std::strlen(commandLine) >= core::kPathArea)
        __builtin_trap();
  } else if (path[0] != '\0') {
    __builtin_trap();
  }

  // The text as the temp dir: what is made always fits, or nothing is.
  AnyFolder creator;
  char folder[core::kPathArea], installer[core::kPathArea], line[core::kPathArea];
  for (bool quiet : {false, true}) {
    if (core::MakeInstallerFolder(creator, text.get(), quiet, folder, installer, line)) {
      if (std::strlen(line) >= core::kPathArea) __builtin_trap();
    } else if (folder[0] != '\0' || installer[0] != '\0' || line[0] != '\0') {
      __builtin_trap();
    }
  }
  return 0;
}
