#include "app/Application.h"
#include "app/Globals.h"
#include "app/WideString.h"

#include <windows.h>

// For now the program only takes its command line: a bad one is reported and ends with -1.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    WideString path;
    if (!gApplication.ParseCommandLine(path)) {
        gApplication.ReportStartupError();
        return -1;
    }
    return 0;
}
