// The launcher's command line and temp folder as any text.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "core/installer_paths.h"
#include "core/launcher_options.h"

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
  return 0;
}
