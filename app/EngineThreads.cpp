#include "app/EngineThreads.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"
#include "io/ComputePool.h"
#include "io/IoThread.h"
#include "ui/ShellActions.h"

#include <windows.h>
#include <objbase.h>

bool EngineThreads::Start() {
    ::CoInitialize(nullptr);
    InitShellEntryPoints();
    return gDispatcher.Start() && gIoThread.Start() && gComputePool.Start();
}

void EngineThreads::Stop() {
    gComputePool.Stop();
    gDispatcher.Stop();
    gIoThread.Stop();
    ::CoUninitialize();
}
