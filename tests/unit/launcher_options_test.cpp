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

}  // namespace
