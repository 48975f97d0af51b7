#include <gtest/gtest.h>

#include <string>

#include "core/installer_paths.h"

namespace {

TEST(InstallerPaths, PathKeepsTheDoubledSeparatorAndCommandLineIsQuoted) {
  const char* kTemp = "C:\\Documents and Settings\\user\\Local Settings\\Temp\\";
  char path[core::kPathArea];
  ASSERT_TRUE(core::BuildInstallerPath(kTemp, path));
  EXPECT_STREQ(path, "C:\\Documents and Settings\\user\\Local Settings\\Temp\\\\Setup.exe");

  char line[core::kPathArea];
  ASSERT_TRUE(core::BuildInstallerCommandLine(path, false, line));
  EXPECT_EQ(std::string(line), "\"" + std::string(path) + "\"");
  ASSERT_TRUE(core::BuildInstallerCommandLine(path, true, line));
  EXPECT_EQ(std::string(line), "\"" + std::string(path) + "\" -s -noreboot");
}

TEST(InstallerPaths, TooLongForTheFixedAreaFailsEmpty) {
  // The path needs length + 11 characters, the silent line length + 15.
  const std::string fitsPath(core::kPathArea - 1 - 10, 'd');
  const std::string tooLong = fitsPath + "d";
  char path[core::kPathArea];
  EXPECT_TRUE(core::BuildInstallerPath(fitsPath.c_str(), path));
  EXPECT_EQ(std::string(path).size(), core::kPathArea - 1);
  EXPECT_FALSE(core::BuildInstallerPath(tooLong.c_str(), path));
  EXPECT_STREQ(path, "");

  char line[core::kPathArea];
  const std::string quietFits(core::kPathArea - 1 - 15, 'p');
  EXPECT_TRUE(core::BuildInstallerCommandLine(quietFits.c_str(), true, line));
  EXPECT_FALSE(core::BuildInstallerCommandLine((quietFits + "p").c_str(), true, line));
  EXPECT_STREQ(line, "");
  EXPECT_TRUE(core::BuildInstallerCommandLine((quietFits + "p").c_str(), false, line));
}

class FakeStarter : public core::InstallerStarter {
 public:
  unsigned long startError = 0;
  bool elevatedWorks = true;
  int starts = 0;
  std::string elevatedFile, elevatedParameters, elevatedDirectory;
  bool elevatedCalled = false;

  unsigned long Start(char*, const char*) override {
    ++starts;
    return startError;
  }
  bool StartElevated(const char* file, const char* parameters, const char* directory) override {
    elevatedCalled = true;
    elevatedFile = file;
    elevatedParameters = parameters;
    elevatedDirectory = directory;
    return elevatedWorks;
  }
};

TEST(InstallerPaths, ElevationOnlyWhenThePlatformAsksForIt) {
  struct Row {
    unsigned long error;
    bool elevatedWorks;
    bool quiet;
    core::StartOutcome outcome;
    bool elevatedCalled;
    const char* parameters;
  } const rows[] = {
      {0, true, false, core::StartOutcome::Started, false, ""},
      {2, true, false, core::StartOutcome::Failed, false, ""},
      {5, true, true, core::StartOutcome::Failed, false, ""},
      {740, true, false, core::StartOutcome::StartedElevated, true, ""},
      {740, true, true, core::StartOutcome::StartedElevated, true, "-s -noreboot"},
      {740, false, true, core::StartOutcome::Failed, true, "-s -noreboot"},
  };
  for (const Row& row : rows) {
    FakeStarter starter;
    starter.startError = row.error;
    starter.elevatedWorks = row.elevatedWorks;
    char line[] = "\"C:\\T\\\\Setup.exe\"";
    EXPECT_EQ(core::StartInstaller(starter, line, "C:\\T\\\\Setup.exe", row.quiet, "C:\\T\\"),
              row.outcome)
        << row.error;
    EXPECT_EQ(starter.starts, 1);
    EXPECT_EQ(starter.elevatedCalled, row.elevatedCalled) << row.error;
    if (row.elevatedCalled) {
      EXPECT_EQ(starter.elevatedFile, "C:\\T\\\\Setup.exe");  // unquoted: a file name
      EXPECT_EQ(starter.elevatedParameters, row.parameters);
      EXPECT_EQ(starter.elevatedDirectory, "C:\\T\\");
    }
  }
}

}  // namespace
