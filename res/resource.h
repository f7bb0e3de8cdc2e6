#pragma once

// Resource ids shared by the templates and the code.
#define IDD_SETUP 101
#define IDD_MAIN 102
#define IDI_APP 103
#define IDD_OPTIONS 105
