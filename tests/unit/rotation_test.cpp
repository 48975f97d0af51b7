#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/rotation.h"

namespace {

TEST(Rotation, DisplayOrientationSelectsButtonAndCode) {
  struct Row {
    std::uint32_t orientation;
    int index;
    std::int32_t code;
  };
  // A display turned by 90 degrees selects "270 degree" and the other way round.
  const Row rows[] = {{0, 0, 1}, {1, 3, 4}, {2, 2, 3}, {3, 1, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.orientation);
    const int index = core::RadioIndexForOrientation(row.orientation, 2);
    EXPECT_EQ(index, row.index);
    EXPECT_EQ(core::RotationCodeForIndex(index), row.code);
  }
}

TEST(Rotation, UnknownOrientationKeepsSelectionAndNoButtonSendsNothing) {
  for (std::uint32_t orientation : {4u, 5u, 0xFFFFFFFFu}) {
    EXPECT_EQ(core::RadioIndexForOrientation(orientation, 2), 2);
    EXPECT_EQ(core::RadioIndexForOrientation(orientation, core::kNoRadio), core::kNoRadio);
  }
  for (int index : {core::kNoRadio, 4, -2, 1000}) EXPECT_EQ(core::RotationCodeForIndex(index), 0);
}

TEST(Rotation, BlockCarriesSetIdFlagsAndValueThenZeros) {
  const core::RotationBlock block = core::BuildRotationBlock(21, 4);
  static_assert(sizeof block.bytes == 304, "wire size");
  const unsigned char head[28] = {0x1D, 0xFC, 0xCA, 0xF1, 0xD6, 0xD7, 0x0F, 0x40, 0xA7, 0xFD,
                                  0x96, 0x71, 0x5E, 0x0B, 0xD9, 0x59, 0x15, 0,    0,    0,
                                  0x02, 0,    0,    0,    0x04, 0,    0,    0};
  EXPECT_EQ(std::memcmp(block.bytes, head, sizeof head), 0);
  for (std::size_t i = sizeof head; i < sizeof block.bytes; ++i)
    ASSERT_EQ(block.bytes[i], 0) << "byte " << i;

  // Little-endian whatever the value.
  const core::RotationBlock wide = core::BuildRotationBlock(0x01020304, -1);
  EXPECT_EQ(wide.bytes[16], 0x04);
  EXPECT_EQ(wide.bytes[19], 0x01);
  EXPECT_EQ(wide.bytes[24], 0xFF);
  EXPECT_EQ(wide.bytes[27], 0xFF);
}

TEST(Rotation, FriendlyNameMatchesDescriptionInFirst24Characters) {
  struct Row {
    const char* name;
    const char* description;
    bool match;
  };
  const Row rows[] = {
      {"Veltra QV7 USB2.0 Camera", "Veltra QV7 USB2.0 Camera", true},
      {"Veltra QV7 USB2.0 Camera (front)", "Veltra QV7 USB2.0 Camera #2", true},
      {"Veltra QV7 USB2.0 Camera", "Veltra QV7 USB2.0 CameraX", true},
      {"Veltra QV7 USB2.0 Camer", "Veltra QV7 USB2.0 Camera", false},
      {"Veltra Cam 2", "Veltra Cam", false},
      {"Veltra Cam", "Veltra Cam", true},
      {"veltra cam", "Veltra Cam", false},
      {"VELTRA QV7 USB2.0 CAMERA", "Veltra QV7 USB2.0 Camera", false},
      {"", "", false},
      {"Veltra Cam", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " / " + row.description);
    EXPECT_EQ(core::NameMatchesDescription(row.name, row.description), row.match);
  }
}

TEST(Rotation, NamesOfAnyLengthAreCutToTheirAreas) {
  const std::wstring longName(500, L'N');
  wchar_t wide[core::kFriendlyNameWideArea];
  core::CopyFriendlyName(longName.c_str(), longName.size(), wide);
  EXPECT_EQ(std::wstring(wide), std::wstring(119, L'N'));

  core::CopyFriendlyName(L"Cam\0hidden", 10, wide);
  EXPECT_EQ(std::wstring(wide), L"Cam");
  core::CopyFriendlyName(nullptr, 0, wide);
  EXPECT_EQ(std::wstring(wide), L"");

  const std::string longAnsi(300, 'A');
  char ansi[core::kFriendlyNameAnsiArea];
  core::CutAnsiName(longAnsi.c_str(), ansi);
  EXPECT_EQ(std::string(ansi), std::string(79, 'A'));
  core::CutAnsiName("Cam", ansi);
  EXPECT_EQ(std::string(ansi), "Cam");
}

}  // namespace
