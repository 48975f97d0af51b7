#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/installer_paths.h"

namespace {

constexpr unsigned char kBytes[core::kFolderRandomBytes] = {0x00, 0x19, 0x2A, 0x3B,
                                                            0x4C, 0x5D, 0x6E, 0xFF};

TEST(InstallerPaths, FolderInTheTempDirFileInTheFolderCommandLineQuoted) {
  const char* kTemp = "C:\\Documents and Settings\\user\\Local Settings\\Temp\\";
  const std::string folder = std::string(kTemp) + "Bindora-00192a3b4c5d6eff";
  char built[core::kPathArea];
  ASSERT_TRUE(core::BuildInstallerFolder(kTemp, kBytes, built));
  EXPECT_EQ(std::string(built), folder);
  // A temp dir without its separator gets one.
  ASSERT_TRUE(core::BuildInstallerFolder("C:\\T", kBytes, built));
  EXPECT_STREQ(built, "C:\\T\\Bindora-00192a3b4c5d6eff");

  char path[core::kPathArea];
  ASSERT_TRUE(core::BuildInstallerPath(folder.c_str(), path));
  EXPECT_EQ(std::string(path), folder + "\\Setup.exe");

  char line[core::kPathArea];
  ASSERT_TRUE(core::BuildInstallerCommandLine(path, false, line));
  EXPECT_EQ(std::string(line), "\"" + std::string(path) + "\"");
  ASSERT_TRUE(core::BuildInstallerCommandLine(path, true, line));
  EXPECT_EQ(std::string(line), "\"" + std::string(path) + "\" -s -noreboot");
}

// Creates whatever it is asked to, after answering `errors` in turn; the
// random bytes count the names asked for, so every name differs.
class FakeCreator : public core::FolderCreator {
 public:
  std::vector<unsigned long> errors;
  bool randomWorks = true;
  std::vector<std::string> tried;
  int randoms = 0;

  bool Random(unsigned char (&bytes)[core::kFolderRandomBytes]) override {
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(randoms);
    ++randoms;
    return randomWorks;
  }
  unsigned long Create(const char* folder) override {
    tried.push_back(folder);
    return tried.size() <= errors.size() ? errors[tried.size() - 1] : 0;
  }
};

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

  // The folder adds 24 characters and "\\Setup.exe" 10 more; the quoted line
  // 2, or 15 with the silent options. Too long: nothing is created.
  struct Row {
    std::size_t tempLength;
    bool quiet;
    bool fits;
  } const rows[] = {
      {223, false, true}, {224, false, false}, {210, true, true},
      {211, true, false}, {259, false, false}, {300, false, false},
  };
  for (const Row& row : rows) {
    const std::string temp = std::string(row.tempLength - 1, 't') + "\\";
    FakeCreator creator;
    char folder[core::kPathArea], made[core::kPathArea], command[core::kPathArea];
    EXPECT_EQ(core::MakeInstallerFolder(creator, temp.c_str(), row.quiet, folder, made, command),
              row.fits)
        << row.tempLength;
    EXPECT_EQ(creator.tried.size(), row.fits ? 1u : 0u) << row.tempLength;
    if (row.fits) {
      EXPECT_EQ(std::string(command).size(), core::kPathArea - 1);
    } else {
      EXPECT_STREQ(folder, "");
    }
  }
}

TEST(InstallerPaths, OnlyATakenNameIsTriedAgainAndOnlyABoundedNumberOfTimes) {
  const std::vector<unsigned long> taken(core::kFolderAttempts, core::kErrorAlreadyExists);
  struct Row {
    const char* label;
    std::vector<unsigned long> errors;
    bool randomWorks;
    bool created;
    std::size_t attempts;
  } const rows[] = {
      {"fresh name", {}, true, true, 1},
      {"two taken names", {183, 183}, true, true, 3},
      {"last attempt", std::vector<unsigned long>(taken.begin(), taken.end() - 1), true, true,
       core::kFolderAttempts},
      {"every name taken", taken, true, false, core::kFolderAttempts},
      {"access denied", {5}, true, false, 1},
      {"taken, then denied", {183, 5}, true, false, 2},
      {"no random bytes", {}, false, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    FakeCreator creator;
    creator.errors = row.errors;
    creator.randomWorks = row.randomWorks;
    char folder[core::kPathArea], path[core::kPathArea], line[core::kPathArea];
    EXPECT_EQ(core::MakeInstallerFolder(creator, "C:\\T\\", true, folder, path, line), row.created);
    ASSERT_EQ(creator.tried.size(), row.attempts);
    for (std::size_t i = 0; i < creator.tried.size(); ++i)
      for (std::size_t j = 0; j < i; ++j) EXPECT_NE(creator.tried[i], creator.tried[j]);
    if (row.created) {
      EXPECT_EQ(std::string(folder), creator.tried.back());
      EXPECT_EQ(std::string(path), creator.tried.back() + "\\Setup.exe");
      EXPECT_EQ(std::string(line), "\"" + std::string(path) + "\" -s -noreboot");
    } else {
      EXPECT_STREQ(folder, "");
      EXPECT_STREQ(path, "");
      EXPECT_STREQ(line, "");
    }
  }
}

TEST(InstallerPaths, FolderAccessWithoutInheritanceFromTheTempFolder) {
  using core::Account;
  struct Row {
    bool elevated;
    std::vector<Account> accounts;
  } const rows[] = {
      {true, {Account::System, Account::Administrators}},
      {false, {Account::System, Account::Administrators, Account::CurrentUser}},
  };
  for (const Row& row : rows) {
    const core::FolderAccess access = core::InstallerFolderAccess(row.elevated);
    EXPECT_TRUE(access.protectedFromParent);
    ASSERT_EQ(access.count, row.accounts.size()) << row.elevated;
    ASSERT_LE(access.count, core::kMostFolderGrants);
    for (std::size_t i = 0; i < access.count; ++i) {
      EXPECT_EQ(access.grants[i].account, row.accounts[i]) << row.elevated << " " << i;
      // Full control, handed on to Setup.exe and whatever the installer adds.
      EXPECT_EQ(access.grants[i].rights, 0x001F01FFul);
      EXPECT_EQ(access.grants[i].inheritance, 0x03);
    }
  }
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
