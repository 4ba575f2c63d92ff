// Resource ids shared by the program's resource script and its code. Russian texts and
// templates carry the same ids plus the language offset 1000.
#pragma once

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

#define IDD_MAIN 102
#define IDD_PROGRESS 105
#define IDD_DETAILS 129
#define IDD_PARAMETERS 130

// Controls of the progress window.
#define IDC_PROGRESS_TEXT 1005
#define IDC_PROGRESS_LABEL 1010
#define IDC_PROGRESS_BAR 1011

#define IDI_MAINFRAME 128
#define IDB_DEVICES 132

#define LANG_OFFSET_RUSSIAN 1000
