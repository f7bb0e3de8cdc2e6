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
