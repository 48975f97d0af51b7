// What every program carries: the version resource (project version
// 1.0.3.0, U.S. English with the Unicode code page, named after the program)
// and a stack protector that stops an overrun before it is used.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rig.h"

namespace {

std::string StringValue(const std::vector<char>& block, const char* name) {
  char query[64];
  wsprintfA(query, "\\StringFileInfo\\040904b0\\%s", name);
  char* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &length) ||
      text == nullptr)
    return "(none)";
  return text;
}

TEST(ProgramVersion, EveryProgramCarriesTheProjectVersion) {
  for (const char* name : {"setup", "vantor", "snappulse", "rotasync"}) {
    SCOPED_TRACE(name);
    const std::string path = rig::ProgramPath(std::string(name) + ".exe");
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty()) << "no version resource";
    ASSERT_TRUE(
        GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00030000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00030000u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(StringValue(block, "FileVersion"), "1.0.3.0");
    EXPECT_EQ(StringValue(block, "ProductVersion"), "1.0.3.0");
    EXPECT_EQ(StringValue(block, "FileDescription"), name);
    EXPECT_EQ(StringValue(block, "ProductName"), name);
  }
}

// The fixture is built with the programs' flags and entry point for their
// architecture. Without the protector the return into the overwrite faults
// (0xC0000005), runs outside the image (3, the fixture's own code) or,
// emulated, takes the whole process down (0).
TEST(StackProtector, StopsAnOverrunBeforeTheFunctionReturnsIntoIt) {
  const std::string overrun = rig::FixturePath("stack_overrun.exe");
  EXPECT_EQ(rig::Run(overrun, "short"), 0u);
  EXPECT_EQ(rig::Run(overrun, std::string(64, 'A')), DWORD(STATUS_STACK_BUFFER_OVERRUN));
  // Seeded anew in every process, not a constant of the image.
  EXPECT_NE(rig::Run(overrun, "guard"), rig::Run(overrun, "guard"));
}

}  // namespace
