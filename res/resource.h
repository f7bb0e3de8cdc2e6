#pragma once

// Resource ids shared by the templates and the code.
#define IDD_SETUP 101
#define IDD_MAIN 102
#define IDI_APP 103
#define IDD_OPTIONS 105

// Controls of the setup dialog.
#define IDC_SETUP_ACTION 1001
#define IDC_SETUP_UNINSTALL 1002
#define IDC_SETUP_LINK 1013
#define IDC_SETUP_STATUS 1014
#define IDC_SETUP_GROUP 1015

// Controls of the main window (IDD_MAIN); the action button is IDOK.
#define IDC_MAIN_UNIT 1010
#define IDC_MAIN_PROGRESS 1017
#define IDC_MAIN_LINK 1018
#define IDC_MAIN_STATUS 1019
#define IDC_MAIN_SIZE 1020
#define IDC_MAIN_SIZE_GROUP 1021
#define IDC_MAIN_QUEUE 1022
#define IDC_MAIN_STATUSBAR 55
#define IDC_MAIN_REPORT 1022

// Controls of the options dialog (IDD_OPTIONS); the close button is IDOK.
#define IDC_OPT_DELETE_FILES 1004
#define IDC_OPT_OPEN_FILE 1006
#define IDC_OPT_SELECT_FILES 1007
#define IDC_OPT_FLASH_WINDOW 1008
#define IDC_OPT_CLOSE_WINDOW 1009
#define IDC_OPT_WRITE_CHECKSUMS 1011
#define IDC_OPT_WRITE_JOIN_SCRIPT 1012
#define IDC_OPT_GROUP 1030
#define IDC_OPT_RECOVERY_LABEL 1031
#define IDC_OPT_RECOVERY 1032

// The question for a missing part (IDD_MISSING_PART); Retry is IDRETRY, Cancel IDCANCEL.
#define IDD_MISSING_PART 106
#define IDC_MISSING_TEXT 1040
#define IDC_MISSING_BROWSE 1041
