// Decisions of the orientation monitor that need no platform: which radio
// button a display orientation selects, which code a button sends, the
// 304-byte block the camera driver receives, and when a capture device's
// friendly name names the camera.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

// Radio group "0 degree", "90 degree", "180 degree", "270 degree".
constexpr int kRadioCount = 4;
constexpr int kNoRadio = -1;

// The radio index a display orientation (DMDO_*) selects. The quarter turns
// map crosswise: the camera has to turn against the display. Values outside
// 0..3 leave `current` as it was.
int RadioIndexForOrientation(std::uint32_t orientation, int current);

// The rotation code a radio index sends (index + 1), or 0 when nothing is
// to be sent (no button selected, or an index outside the group).
std::int32_t RotationCodeForIndex(int index);

// The camera driver's rotation property.
constexpr std::uint32_t kRotationPropertyId = 21;
constexpr std::uint32_t kKsPropertyTypeSet = 2;
constexpr std::size_t kRotationBlockSize = 304;
// {F1CAFC1D-D7D6-400F-A7FD-96715E0BD959} in the platform's GUID byte order.
constexpr unsigned char kCameraRotationSetBytes[16] = {
    0x1D, 0xFC, 0xCA, 0xF1, 0xD6, 0xD7, 0x0F, 0x40, 0xA7, 0xFD, 0x96, 0x71, 0x5E, 0x0B, 0xD9, 0x59};

// Set, id and flags as the kernel-streaming property header lays them out,
// the value behind them, zeros to the end. Aligned so the head can be read
// as a GUID.
struct RotationBlock {
  alignas(8) unsigned char bytes[kRotationBlockSize];
};
RotationBlock BuildRotationBlock(std::uint32_t propertyId, std::int32_t value);

// Working buffers of the device search.
constexpr std::size_t kDescriptionArea = 256;
constexpr std::size_t kFriendlyNameWideArea = 120;
constexpr std::size_t kFriendlyNameAnsiArea = 80;
constexpr std::size_t kNameMatchLength = 24;

// Copies a friendly name of `length` wide characters (it may hold a zero
// earlier) into the wide area, cut to 119 characters and a terminator.
void CopyFriendlyName(const wchar_t* name, std::size_t length,
                      wchar_t (&out)[kFriendlyNameWideArea]);

// The converted name cut to 79 bytes and a terminator.
void CutAnsiName(const char* converted, char (&out)[kFriendlyNameAnsiArea]);

// The name names the camera when it agrees with the driver description in
// its first 24 characters, case-sensitive; shorter texts must be equal. An
// empty description (none obtained) matches nothing.
bool NameMatchesDescription(const char* ansiName, const char* description);

}  // namespace core
