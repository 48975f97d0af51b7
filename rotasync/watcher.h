// The snapshot-state watcher: a worker thread that wakes on every change below
// the camera's Settings key and asks the dialog to synchronise again when
// "SnapShotState" is 2.
#pragma once

#include <windows.h>

// The id of the registered message "RotateNotify"; defined with the dialog.
extern UINT g_nRotateNotifyMsg;

// Starts the watcher for `window`. It waits on its own duplicate of `event`,
// so the dialog may close its handle while the watcher still waits.
bool StartSnapshotWatcher(HWND window, HANDLE event);

// Thread function; owns the event handle of the WatchTarget it is given.
DWORD WINAPI WatchSnapshotState(LPVOID parameter);
