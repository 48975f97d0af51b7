// How the launcher reads its command line: only the last two characters of
// the whole line count, so a caller can append an option to any command.
#pragma once

#include <cstddef>

namespace core {

enum class LaunchMode { Default, Silent, Diagnostic };

// Room for a two-character option and its terminator.
constexpr std::size_t kOptionArea = 3;

// Chooses the mode from the whole command line (program path included).
// `option` receives the recognised option as written ("-s", "-D", ...) or an
// empty string. A null or one-character line selects no option.
LaunchMode ChooseLaunchMode(const char* commandLine, char (&option)[kOptionArea]);

}  // namespace core
