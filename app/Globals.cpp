#include "app/Globals.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "io/ComputePool.h"
#include "io/IoThread.h"
#include "ops/Operation.h"
#include "ui/MainWindow.h"
#include "ui/SetupDialog.h"

// The process-wide objects, in the order in which they must be constructed; they are destroyed
// in reverse after the entry point returns, so the settings key is the last thing to go.

Settings gSettings;
SetupDialog gSetupDialog;
CompletionDispatcher gDispatcher;
IoThread gIoThread;
ComputePool gComputePool;
Application gApplication;
std::unique_ptr<Operation> gOperation;
MainWindow gMainWindow;
