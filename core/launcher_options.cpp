#include "core/launcher_options.h"

#include <cstring>

namespace core {

LaunchMode ChooseLaunchMode(const char* commandLine, char (&option)[kOptionArea]) {
  option[0] = '\0';
  if (commandLine == nullptr) return LaunchMode::Default;
  const std::size_t length = std::strlen(commandLine);
  if (length < 2) return LaunchMode::Default;

  const char dash = commandLine[length - 2];
  const char letter = commandLine[length - 1];
  if (dash != '-') return LaunchMode::Default;

  LaunchMode mode;
  if (letter == 's' || letter == 'S') {
    mode = LaunchMode::Silent;
  } else if (letter == 'd' || letter == 'D') {
    mode = LaunchMode::Diagnostic;
  } else {
    return LaunchMode::Default;
  }
  option[0] = dash;
  option[1] = letter;
  option[2] = '\0';
  return mode;
}

}  // namespace core
