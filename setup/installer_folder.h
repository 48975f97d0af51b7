// The folder of its own that the installer is written to and started from,
// with the access the core's rules give it.
#pragma once

#include <windows.h>

#include "core/installer_paths.h"

// True for an elevated administrator and for SYSTEM (both hold an enabled
// Administrators group), false for a token that UAC filtered.
bool RunsElevated();

// The folder's descriptor, in fixed buffers: it refers to its own members,
// so it is neither copied nor moved.
class FolderDescriptor {
 public:
  FolderDescriptor() = default;
  FolderDescriptor(const FolderDescriptor&) = delete;
  FolderDescriptor& operator=(const FolderDescriptor&) = delete;

  bool Build(bool elevated);
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  BYTE sids_[core::kMostFolderGrants][SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE acl_[sizeof(ACL) + core::kMostFolderGrants *
                                             (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

// The calling thread's last error, or `fallback` where the failed call set
// none: setup's steps return 0 for success, so a failure must not be 0.
inline unsigned long LastErrorOr(unsigned long fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

// Creates the folder in `tempDir` and forms the installer's path and command
// line in it. 0, or the platform's error when no folder was created.
unsigned long CreateInstallerFolder(const char* tempDir, bool quiet,
                                    char (&folder)[core::kPathArea], char (&path)[core::kPathArea],
                                    char (&commandLine)[core::kPathArea]);
