#include "installer_folder.h"

#include <ntsecapi.h>

#include "common/win/unique.h"

static_assert(core::kFullControl == FILE_ALL_ACCESS, "the core's rights are the platform's");
static_assert(core::kInheritedByFilesAndFolders == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              "the core's inheritance flags are the platform's");
static_assert(core::kErrorAlreadyExists == ERROR_ALREADY_EXISTS, "a taken name");

namespace {

bool WellKnownSid(WELL_KNOWN_SID_TYPE type, BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof sid;
  return CreateWellKnownSid(type, nullptr, sid, &size) != FALSE;
}

bool CurrentUserSid(BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
  win::unique_handle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } info;
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenUser, &info, sizeof info, &size) &&
         CopySid(sizeof sid, sid, info.user.User.Sid);
}

bool AccountSid(core::Account account, BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
  switch (account) {
    case core::Account::System:
      return WellKnownSid(WinLocalSystemSid, sid);
    case core::Account::Administrators:
      return WellKnownSid(WinBuiltinAdministratorsSid, sid);
    case core::Account::CurrentUser:
      return CurrentUserSid(sid);
  }
  return false;
}

class Creator final : public core::FolderCreator {
 public:
  explicit Creator(FolderDescriptor* descriptor) : descriptor_(descriptor) {}

  // RtlGenRandom lives in advapi32, which the loader takes from the system
  // folder only; bcrypt.dll would be one more DLL to look for beside setup.exe.
  bool Random(unsigned char (&bytes)[core::kFolderRandomBytes]) override {
    return RtlGenRandom(bytes, sizeof bytes) != FALSE;
  }

  unsigned long Create(const char* folder) override {
    if (CreateDirectoryA(folder, descriptor_->Attributes())) return 0;
    return LastErrorOr(ERROR_GEN_FAILURE);
  }

 private:
  FolderDescriptor* descriptor_;
};

}  // namespace

bool RunsElevated() {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  BOOL member = FALSE;
  return WellKnownSid(WinBuiltinAdministratorsSid, administrators) &&
         CheckTokenMembership(nullptr, administrators, &member) && member;
}

bool FolderDescriptor::Build(bool elevated) {
  const core::FolderAccess access = core::InstallerFolderAccess(elevated);
  if (access.count > core::kMostFolderGrants) return false;
  ACL* acl = reinterpret_cast<ACL*>(acl_);
  if (!InitializeAcl(acl, sizeof acl_, ACL_REVISION)) return false;
  for (std::size_t i = 0; i < access.count; ++i) {
    const core::AccessGrant& grant = access.grants[i];
    if (!AccountSid(grant.account, sids_[i]) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, grant.inheritance, grant.rights, sids_[i])) {
      return false;
    }
  }
  const SECURITY_DESCRIPTOR_CONTROL protection = access.protectedFromParent ? SE_DACL_PROTECTED : 0;
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, protection)) {
    return false;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  return true;
}

unsigned long CreateInstallerFolder(const char* tempDir, bool quiet,
                                    char (&folder)[core::kPathArea], char (&path)[core::kPathArea],
                                    char (&commandLine)[core::kPathArea]) {
  FolderDescriptor descriptor;
  if (!descriptor.Build(RunsElevated())) return LastErrorOr(core::kErrorCannotMake);
  Creator creator(&descriptor);
  return core::MakeInstallerFolder(creator, tempDir, quiet, folder, path, commandLine);
}
