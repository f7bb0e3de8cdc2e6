#include "app/Application.h"
#include "app/Globals.h"
#include "toolkit/KDialog.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (!gApplication.Init())
        return gApplication.StartFailure();
    if (gApplication.HandedOver())
        return 0;
    // Both windows are created hidden: they show up with the texts the start has put in them.
    KDialog& window = gApplication.Window();
    ::ShowWindow(window.Handle(), SW_SHOWNORMAL);
    window.RunDialogLoop();
    return gApplication.Exit();
}
