#include <gtest/gtest.h>

#include "core/launcher_options.h"

namespace {

using core::LaunchMode;

TEST(LauncherOptions, OnlyTheLastTwoCharactersCount) {
  struct Row {
    const char* line;
    LaunchMode mode;
    const char* option;
  } const rows[] = {
      {"\"C:\\pkg\\setup.exe\" -s", LaunchMode::Silent, "-s"},
      {"setup.exe -S", LaunchMode::Silent, "-S"},
      {"setup.exe -d", LaunchMode::Diagnostic, "-d"},
      {"setup.exe -D", LaunchMode::Diagnostic, "-D"},
      {"setup.exe-s", LaunchMode::Silent, "-s"},  // no blank needed
      {"setup.exe -s ", LaunchMode::Default, ""},
      {"setup.exe -s x", LaunchMode::Default, ""},
      {"setup.exe -x", LaunchMode::Default, ""},
      {"setup.exe /s", LaunchMode::Default, ""},
      {"setup.exe", LaunchMode::Default, ""},
      {"-s", LaunchMode::Silent, "-s"},
      {"s", LaunchMode::Default, ""},
      {"", LaunchMode::Default, ""},
  };
  for (const Row& row : rows) {
    char option[core::kOptionArea] = {'x', 'x', 'x'};
    EXPECT_EQ(core::ChooseLaunchMode(row.line, option), row.mode) << row.line;
    EXPECT_STREQ(option, row.option) << row.line;
  }
  char option[core::kOptionArea];
  EXPECT_EQ(core::ChooseLaunchMode(nullptr, option), LaunchMode::Default);
  EXPECT_STREQ(option, "");
}

TEST(LauncherOptions, OnlyASilentRunTellsItsCallerHowItEnded) {
  using core::LauncherOutcome;
  struct Row {
    LaunchMode mode;
    LauncherOutcome outcome;
    unsigned long code;
    unsigned long exit;
  } const rows[] = {
      // The installer's own code passes through, restarts and failures alike.
      {LaunchMode::Silent, LauncherOutcome::Ran, 0, 0},
      {LaunchMode::Silent, LauncherOutcome::Ran, 3010, 3010},
      {LaunchMode::Silent, LauncherOutcome::Ran, 1641, 1641},
      {LaunchMode::Silent, LauncherOutcome::Ran, 1603, 1603},
      // Nothing to install on a machine without the camera.
      {LaunchMode::Silent, LauncherOutcome::NoModule, 0, 0},
      {LaunchMode::Silent, LauncherOutcome::AlreadyRunning, 0, 1618},
      {LaunchMode::Silent, LauncherOutcome::PayloadMissing, 0, 1814},
      {LaunchMode::Silent, LauncherOutcome::PayloadUnloadable, 0, 1812},
      {LaunchMode::Silent, LauncherOutcome::CreateFailed, 3, 3},
      {LaunchMode::Silent, LauncherOutcome::WriteFailed, 112, 112},
      {LaunchMode::Silent, LauncherOutcome::Replaced, 0, 1006},
      {LaunchMode::Silent, LauncherOutcome::StartFailed, 1223, 1223},
      // A failure whose call left no error still is not success.
      {LaunchMode::Silent, LauncherOutcome::CreateFailed, 0, 82},
      {LaunchMode::Silent, LauncherOutcome::WriteFailed, 0, 29},
      {LaunchMode::Silent, LauncherOutcome::StartFailed, 0, 31},
      // A person saw every message.
      {LaunchMode::Default, LauncherOutcome::Ran, 3010, 0},
      {LaunchMode::Default, LauncherOutcome::AlreadyRunning, 0, 0},
      {LaunchMode::Diagnostic, LauncherOutcome::Ran, 1603, 0},
      {LaunchMode::Diagnostic, LauncherOutcome::WriteFailed, 112, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(core::LauncherExitCode(row.mode, {row.outcome, row.code}), row.exit)
        << static_cast<int>(row.mode) << " " << static_cast<int>(row.outcome) << " " << row.code;
  }
}

}  // namespace
