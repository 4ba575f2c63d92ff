// Resource ids shared by the program's resource script and its code. Russian texts and
// templates carry the same ids plus the language offset 1000.
#pragma once

#include "../framework/FrameworkIds.h"

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDS_LANGUAGES 0
#define IDS_DEVICE_NAME 1
#define IDS_LOGICAL_NAME 2
#define IDS_STARTUP 6
#define IDS_STATUS 7
#define IDS_LANG_INIT_FAILED 8
#define IDS_LIBRARY_IN_USE 9
#define IDS_ERROR 10
#define IDS_AUTOMATIC 11
#define IDS_ON_DEMAND 12
#define IDS_DISABLED 13
#define IDS_UNKNOWN 14
#define IDS_SUCCESS 15
#define IDS_LOGICAL_NAME_TAKEN 16
#define IDS_LOGICAL_NAME_END 17
#define IDS_FILE_FILTER 19
#define IDS_CONFIRM_UNINSTALL 20
#define IDS_UNINSTALL_FAILED 21
#define IDS_PLEASE_WAIT 113
#define IDS_REPLACE_NEWER 115
#define IDS_WRONG_TYPE 117
#define IDS_BAD_INSTALL_FILE 118
#define IDS_INSTALL_ABORTED 119
#define IDS_ALREADY_INSTALLED 120
#define IDS_CONFIRM_INSTALL 121
#define IDS_USAGE 122
#define IDS_RUN_TAKEN_BACK 123

#define IDD_MAIN 102
#define IDD_PROGRESS 105
#define IDD_DETAILS 129
#define IDD_PARAMETERS 130

// Controls of the main window.
#define IDC_DEVICE_LIST 1000
#define IDC_CHANGE 1001
#define IDC_INSTALL 1002
#define IDC_UNINSTALL 1003
#define IDC_SETUP_DRIVER 1004
#define IDC_CARD_OPERATIONS 1005
#define IDC_DETAILS 1007

// Value controls of the details dialog.
#define IDC_INFO_DRIVER_DLL 1008
#define IDC_INFO_DEVICE_NAME 1009
#define IDC_INFO_LOGICAL_NAME 1010
#define IDC_INFO_VENDOR 1011
#define IDC_INFO_COMMENT 1012
#define IDC_INFO_VERSION 1013
#define IDC_INFO_STARTUP 1014
#define IDC_INFO_STATUS 1015

// Controls of the change-parameters dialog.
#define IDC_STARTUP_AUTOMATIC 1015
#define IDC_STARTUP_ON_DEMAND 1016
#define IDC_STARTUP_DISABLED 1017
#define IDC_LOGICAL_NAME_EDIT 1018
#define IDC_PARAMS_DEVICE_NAME 1019

// Controls of the progress window.
#define IDC_PROGRESS_TEXT 1005
#define IDC_PROGRESS_LABEL 1010
#define IDC_PROGRESS_BAR 1011

#define IDI_MAINFRAME 128
#define IDB_DEVICES_16 132
#define IDB_DEVICES_20 133
#define IDB_DEVICES_24 134
#define IDB_DEVICES_32 135

#define LANG_OFFSET_RUSSIAN 1000
