#include "app/Globals.h"

#include "app/Application.h"
#include "app/Settings.h"

// The process-wide objects, in the order in which they must be constructed; they are destroyed
// in reverse after the entry point returns, so the settings key is the last thing to go.

Settings gSettings;

// Next in order: the setup dialog, then the completion dispatcher and then the I/O thread, all
// between the settings and the application.

Application gApplication;

// After the application: the current operation, then the main window.
