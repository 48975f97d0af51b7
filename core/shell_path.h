// The shell namespace path vantor hands to the file browser.
#pragma once

#include <cstddef>

namespace core {

constexpr std::size_t kShellPathArea = 256;

// My Computer alone, closed with a colon.
constexpr char kMyComputerShellPath[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}:";

// My Computer, Control Panel, Scanners and Cameras, then the imaging device.
constexpr char kCameraShellPathFormat[] =
    "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\"
    "::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\"
    "::{E211B736-43FD-11D1-9EFB-0000F8757FCD}\\"
    "devid:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\%s:";

// The path for the camera whose instance path is given, or My Computer when
// `instancePath` is null.
void BuildShellPath(const char* instancePath, char (&out)[kShellPathArea]);

}  // namespace core
