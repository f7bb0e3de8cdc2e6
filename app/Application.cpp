#include "app/Application.h"

#include "app/Globals.h"
#include "app/ProgramInfo.h"
#include "app/Settings.h"
#include "ops/CheckOperation.h"
#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "res/resource.h"
#include "ui/HandOverRecord.h"
#include "ui/MainWindow.h"
#include "ui/SetupDialog.h"

#include <windows.h>

#include <new>

bool Application::ParseCommandLine(WideString& path) {
    return ParseCommandLine(::GetCommandLineW(), path);
}

namespace {

// A path as the command line gives it, from p: in quotes up to the closing one (or the end), or
// up to the next blank. Null, with ERROR_INVALID_PARAMETER, when it is empty; else the first
// character after it.
const wchar_t* TakePath(const wchar_t* p, WideString& path) {
    wchar_t end = L' ';
    if (*p == L'"') {
        end = L'"';
        ++p;
    }
    const wchar_t* start = p;
    while (*p && *p != end)
        ++p;
    if (p == start) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    path.Assign(start, static_cast<uint32_t>(p - start));
    return *p == L'"' ? p + 1 : p;
}

// Blanks only; a tab belongs to a path.
const wchar_t* SkipBlanks(const wchar_t* p) {
    while (*p == L' ')
        ++p;
    return p;
}

} // namespace

bool Application::ParseCommandLine(const wchar_t* commandLine, WideString& path) {
    outputFolder.Assign(L"", 0);
    if (!commandLine)
        commandLine = L"";
    // The first " /" counts, even one inside the program's own path.
    const wchar_t* p = commandLine;
    while (*p && !(p[0] == L' ' && p[1] == L'/'))
        ++p;
    if (!*p) {
        mode = RunMode::Setup;
        return true;
    }
    p += 2;
    if (*p == L's') {
        mode = RunMode::Split;
    } else if (*p == L'j') {
        mode = RunMode::Join;
    } else if (*p == L'c') {
        mode = RunMode::Check;
    } else {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    p = TakePath(SkipBlanks(p + 1), path);
    if (!p)
        return false;
    // " /to DIR" after the path of a split or join; whatever else follows is no switch of ours.
    p = SkipBlanks(p);
    if (!(p[0] == L'/' && p[1] == L't' && p[2] == L'o'))
        return true;
    if (mode == RunMode::Check || (p[3] != L' ' && p[3] != 0)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return TakePath(SkipBlanks(p + 3), outputFolder) != nullptr;
}

void Application::ReportStartupError() const {
    WideString text;
    text.Format(L"Error #%u.", static_cast<unsigned>(::GetLastError()));
    ::MessageBoxW(nullptr, text.Text(), kProgramCaption, MB_ICONERROR);
}

bool Application::FailStart(OperationOutcome outcome) {
    startFailure = outcome;
    ReportStartupError();
    return false;
}

bool Application::HandOver(const WideString& path) {
    // Without the lock this launch cannot tell whether a window is being made: it works alone.
    if (!instance.Lock())
        return false;
    const HWND running = instance.FindRunning();
    if (running == nullptr)
        return false; // the lock is kept until this launch's own window takes work
    instance.Unlock();
    HandOverRecord record;
    return record.Make(mode, path) && SingleInstance::HandTo(running, record);
}

bool Application::Init() {
    WideString path;
    if (!ParseCommandLine(path))
        return FailStart(OperationOutcome::BadCommandLine);
    if (mode == RunMode::Setup) {
        // Nothing else runs in this mode: no settings key, no COM, no threads.
        if (!gSetupDialog.CreateModeless(IDD_SETUP, nullptr))
            return FailStart(OperationOutcome::Refused);
        return true;
    }
    // Work for a folder of its own, and a check, keep a window of their own: the window that
    // takes every file sends each beside its source.
    const bool ownWindow = mode == RunMode::Check || outputFolder.Length() != 0;
    if (!ownWindow && HandOver(path)) {
        handedOver = true;
        return true;
    }

    // Without the key every setting reads as its default, which is fine.
    gSettings.Open();
    // The window asks for the mode and the stored part size while it is built.
    if (!gMainWindow.CreateModeless(IDD_MAIN, nullptr)) {
        instance.Unlock();
        return FailStart(OperationOutcome::Refused);
    }
    // Completions are delivered to the thread that starts the dispatcher: this one.
    if (!engine.Start()) {
        instance.Unlock();
        return FailStart(OperationOutcome::Refused);
    }
    // The queue holds this launch's work before later launches can find the window; a window of
    // its own is never found.
    const bool started = gMainWindow.BeginQueue(mode, path);
    if (started && !ownWindow)
        instance.Publish(gMainWindow.Handle());
    instance.Unlock();
    if (!started)
        return FailStart(OperationOutcome::Refused);
    return true;
}

bool Application::StartWork(RunMode workMode, const WideString& path, const WideString* folder) {
    Operation* operation = nullptr;
    if (workMode == RunMode::Split)
        operation = new (std::nothrow) SplitOperation(gMainWindow);
    else if (workMode == RunMode::Check)
        operation = new (std::nothrow) CheckOperation(gMainWindow);
    else
        operation = new (std::nothrow) JoinOperation(gMainWindow);
    if (!operation) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    mode = workMode;
    operation->SetOutputFolder(folder != nullptr ? *folder : outputFolder);
    gOperation.reset(operation);
    // The operation reports its own failures in the window.
    gOperation->Start(path);
    return true;
}

KDialog& Application::Window() const {
    if (mode == RunMode::Setup)
        return gSetupDialog;
    return gMainWindow;
}

int Application::Exit() {
    if (mode == RunMode::Setup) {
        gSetupDialog.Destroy();
        return 0;
    }
    // Later launches no longer find the window: they work alone.
    instance.Withdraw(gMainWindow.Handle());
    gMainWindow.Destroy();
    // Taken before Abort, which returns the operation to Idle.
    const OperationOutcome outcome =
        gMainWindow.Queue().Outcome(gOperation ? gOperation->Outcome() : OperationOutcome::Done);
    // Closing the files hands their requests in flight to their abandon routines; an unfinished
    // output is deleted.
    if (gOperation)
        gOperation->Abort();
    engine.Stop();
    gSettings.Close();
    return ExitCodeOf(outcome);
}
