// Resource ids of the launcher (shared by the .rc and the code).
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_LAUNCHER 102
#define IDR_MAINFRAME 128
#define IDR_PAYLOAD_B 135
#define IDR_PAYLOAD_A 137

#define IDC_EXTRACT 1000
#define IDC_EDIT_SIZE 1001
#define IDC_EDIT_PATH 1002
#define IDC_EDIT_CMD 1003
#define IDC_EDIT_RUN 1004
#define IDC_EDIT_OPTION 1005
#define IDC_ENUM 1006
#define IDC_DEVICES 1007
