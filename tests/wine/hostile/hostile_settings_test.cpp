// A Settings key that its owner made read-only: snappulse, which opens it for
// all access, must end at once without writing; vantor, which only reads
// the record, is unaffected.
#include <gtest/gtest.h>

#include <aclapi.h>

#include "rig.h"

namespace {

const std::string kItem =
    "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\"
    "::{E211B736-43FD-11D1-9EFB-0000F8757FCD}\\devid:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\";

// Replaces the key's DACL by one entry: Everyone, `access`.
bool SetEveryoneOnly(const std::string& path, REGSAM access) {
  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &raw) != ERROR_SUCCESS)
    return false;
  const win::unique_hkey key(raw);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return false;
  unsigned char aclBytes[256];
  auto* acl = reinterpret_cast<PACL>(aclBytes);
  SECURITY_DESCRIPTOR sd;
  const bool ok = InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
                  AddAccessAllowedAce(acl, ACL_REVISION, access, everyone) &&
                  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
                  RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  FreeSid(everyone);
  return ok;
}

TEST(HostileSettings, ReadOnlySettingsKeyIsLeftAlone) {
  const std::string settings = rig::SettingsKey("0000");
  rig::RemoveCameras();
  rig::ClearExplorerCalls();
  rig::StageCamera("0000");
  ASSERT_TRUE(SetEveryoneOnly(settings, KEY_READ));
  {
    HKEY probe = nullptr;
    const LONG status =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings.c_str(), 0, KEY_ALL_ACCESS, &probe);
    const win::unique_hkey owned(probe);
    if (status == ERROR_SUCCESS) GTEST_SKIP() << "this host grants all access despite the DACL";
    ASSERT_EQ(status, ERROR_ACCESS_DENIED);
  }

  EXPECT_EQ(rig::Run(rig::ProgramPath("snappulse.exe"), "", 10000), 0u);
  EXPECT_FALSE(rig::ReadValue(HKEY_LOCAL_MACHINE, settings, "SnapShotState").present);

  EXPECT_EQ(rig::Run(rig::ProgramPath("vantor.exe"), "", 10000), 0u);
  const auto calls = rig::WaitForExplorerCalls(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].parameters, kItem + "0000:");

  SetEveryoneOnly(settings, KEY_ALL_ACCESS);
}

}  // namespace
