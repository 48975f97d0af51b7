#include <gtest/gtest.h>

#include <string>

#include "core/shell_path.h"

namespace {

const std::string kPrefix =
    "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\"
    "::{E211B736-43FD-11D1-9EFB-0000F8757FCD}\\devid:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\";
const std::string kInstance =
    "\\Registry\\MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000\\Settings";

TEST(ShellPath, CameraItemOrMyComputer) {
  char path[256];
  core::BuildShellPath(kInstance.c_str(), path);
  EXPECT_EQ(std::string(path), kPrefix + "0000:");
  EXPECT_EQ(std::string(path).size(), 173u);

  core::BuildShellPath(kInstance.substr(0, 98).c_str(), path);
  EXPECT_EQ(std::string(path), kPrefix + "00:");

  core::BuildShellPath(nullptr, path);
  EXPECT_STREQ(path, "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}:");
}

}  // namespace
