#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
              row.fits ? 0ul : core::kErrorFilenameExcedRange)
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
    unsigned long error;  // 0: created
    std::size_t attempts;
  } const rows[] = {
      {"fresh name", {}, true, 0, 1},
      {"two taken names", {183, 183}, true, 0, 3},
      {"last attempt", std::vector<unsigned long>(taken.begin(), taken.end() - 1), true, 0,
       core::kFolderAttempts},
      {"every name taken", taken, true, 183, core::kFolderAttempts},
      {"access denied", {5}, true, 5, 1},
      {"taken, then denied", {183, 5}, true, 5, 2},
      {"no random bytes", {}, false, core::kErrorCannotMake, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    FakeCreator creator;
    creator.errors = row.errors;
    creator.randomWorks = row.randomWorks;
    char folder[core::kPathArea], path[core::kPathArea], line[core::kPathArea];
    EXPECT_EQ(core::MakeInstallerFolder(creator, "C:\\T\\", true, folder, path, line), row.error);
    ASSERT_EQ(creator.tried.size(), row.attempts);
    for (std::size_t i = 0; i < creator.tried.size(); ++i)
      for (std::size_t j = 0; j < i; ++j) EXPECT_NE(creator.tried[i], creator.tried[j]);
    if (row.error == 0) {
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
  unsigned long elevatedError = 0;
  int starts = 0;
  std::string elevatedFile, elevatedParameters, elevatedDirectory;
  bool elevatedCalled = false;

  unsigned long Start(char*, const char*) override {
    ++starts;
    return startError;
  }
  unsigned long StartElevated(const char* file, const char* parameters,
                              const char* directory) override {
    elevatedCalled = true;
    elevatedFile = file;
    elevatedParameters = parameters;
    elevatedDirectory = directory;
    return elevatedError;
  }
};

TEST(InstallerPaths, ElevationOnlyWhenThePlatformAsksForIt) {
  struct Row {
    unsigned long error;
    unsigned long elevatedError;
    bool quiet;
    unsigned long result;  // 0: started
    bool elevatedCalled;
    const char* parameters;
  } const rows[] = {
      {0, 0, false, 0, false, ""},
      {2, 0, false, 2, false, ""},
      {5, 0, true, 5, false, ""},
      {740, 0, false, 0, true, ""},
      {740, 0, true, 0, true, "-s -noreboot"},
      {740, 1223, true, 1223, true, "-s -noreboot"},  // the prompt declined
  };
  for (const Row& row : rows) {
    FakeStarter starter;
    starter.startError = row.error;
    starter.elevatedError = row.elevatedError;
    char line[] = "\"C:\\T\\\\Setup.exe\"";
    EXPECT_EQ(core::StartInstaller(starter, line, "C:\\T\\\\Setup.exe", row.quiet, "C:\\T\\"),
              row.result)
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

TEST(InstallerPaths, TempFolderOnlyByANameThatConvertedExactly) {
  struct Row {
    const char* label;
    core::TempFolderForm longForm, shortForm;
    const char* chosen;  // null: none
  } const rows[] = {
      {"long form exact", {"C:\\Temp\\", true}, {"C:\\TEMP~1\\", true}, "C:\\Temp\\"},
      {"best-fitted long form: the short one",
       {"C:\\Otemp\\", false},
       {"C:\\_TEM~GYV\\", true},
       "C:\\_TEM~GYV\\"},
      // 8.3 names switched off on the volume: the short form is the long one.
      {"no short name", {"C:\\Otemp\\", false}, {"C:\\Otemp\\", false}, nullptr},
      {"short form unavailable", {"C:\\Otemp\\", false}, {nullptr, false}, nullptr},
  };
  for (const Row& row : rows) {
    const char* chosen = core::ChooseTempFolder(row.longForm, row.shortForm);
    EXPECT_STREQ(chosen, row.chosen) << row.label;
  }
}

// Serves `bytes` in reads of at most `most` bytes; `identity` as told.
class FakeReopened : public core::ReopenedFile {
 public:
  std::vector<unsigned char> bytes;
  core::FileIdentity identity{};
  std::uint32_t most = core::kCompareChunk;
  std::uint32_t biggestAsk = 0;
  std::size_t at = 0;

  bool Identity(core::FileIdentity* out) override {
    *out = identity;
    return true;
  }
  bool Read(unsigned char* into, std::uint32_t want, std::uint32_t* got) override {
    biggestAsk = std::max(biggestAsk, want);
    *got = static_cast<std::uint32_t>(std::min<std::size_t>({want, most, bytes.size() - at}));
    std::copy(bytes.begin() + at, bytes.begin() + at + *got, into);
    at += *got;
    return true;
  }
};

TEST(InstallerPaths, ReopenedFileMustBeTheOneWrittenWithExactlyThePayload) {
  // Three chunks, the last a short one.
  std::vector<unsigned char> payload(2 * core::kCompareChunk + 100);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<unsigned char>(i * 7);
  const core::FileIdentity written{0x1234, 42, payload.size()};
  struct Row {
    const char* label;
    void (*change)(FakeReopened&);
    bool holds;
  } const rows[] = {
      {"the file written", [](FakeReopened&) {}, true},
      {"a byte changed in the first chunk", [](FakeReopened& f) { f.bytes[0] ^= 1; }, false},
      {"a byte changed in the last chunk", [](FakeReopened& f) { f.bytes.back() ^= 1; }, false},
      {"the file ends early", [](FakeReopened& f) { f.bytes.pop_back(); }, false},
      {"a read shorter than asked", [](FakeReopened& f) { f.most = 100; }, false},
      {"another file on the volume", [](FakeReopened& f) { f.identity.index = 43; }, false},
      {"another volume", [](FakeReopened& f) { f.identity.volume = 0x4321; }, false},
      {"another size", [](FakeReopened& f) { f.identity.size += 1; }, false},
  };
  for (const Row& row : rows) {
    FakeReopened file;
    file.bytes = payload;
    file.identity = written;
    row.change(file);
    EXPECT_EQ(core::HoldsPayload(file, written, payload.data(),
                                 static_cast<std::uint32_t>(payload.size())),
              row.holds)
        << row.label;
    EXPECT_LE(file.biggestAsk, core::kCompareChunk) << row.label;
  }
}

}  // namespace
