#pragma once

#include "app/EngineThreads.h"
#include "app/WideString.h"
#include "ops/OperationOutcome.h"
#include "ui/SingleInstance.h"

#include <cstdint>

class KDialog;

// What the program was started to do, chosen by the command line.
enum class RunMode : int32_t {
    Setup = 0, // no " /" anywhere: the setup dialog
    Split = 1, // " /s" and a path
    Join = 2,  // " /j" and a path
    Check = 3, // " /c" and a path: the parts are checked, nothing is written
};

class Application {
public:
    // Reads the process's command line. Sets the mode and, for a split or join, the path, and
    // the output folder that " /to" names after it. A bad command line fails with last error
    // ERROR_INVALID_PARAMETER.
    bool ParseCommandLine(WideString& path);
    // The same for a given command-line text.
    bool ParseCommandLine(const wchar_t* commandLine, WideString& path);

    RunMode Mode() const { return mode; }
    // Where a split or join writes; empty for beside its file.
    const WideString& OutputFolder() const { return outputFolder; }

    // Starts the program for the mode the command line chose: the setup dialog, or the main
    // window with its operation, the completion dispatcher and the I/O thread. The mode's window
    // is created hidden. A failure is reported with "Error #%u." and gives false; StartFailure
    // then tells the program's exit code. A split or join that a window of this user runs
    // already takes is handed to it instead (HandedOver), and nothing else starts.
    bool Init();
    // The running window took this launch's work: it ends at once, with 0.
    bool HandedOver() const { return handedOver; }
    // Makes the operation for a split or join of path and starts it in the main window, which
    // then shows that mode; it writes to folder where one is given, else where the command line
    // said. False, with nothing made, without memory.
    bool StartWork(RunMode workMode, const WideString& path, const WideString* folder = nullptr);
    // Takes down what Init started, in order. Gives the program's exit code: 0 for the setup
    // dialog, the outcome of the split or join otherwise (Cancelled when it had not ended).
    int Exit();
    // The exit code after Init failed: a bad command line, or work refused before it began.
    int StartFailure() const { return ExitCodeOf(startFailure); }
    // The one window of the mode: the setup dialog or the main window.
    KDialog& Window() const;

    // "Error #%u." with the thread's last-error value, in a message box without owner.
    void ReportStartupError() const;

private:
    // Reports the failure of the start and keeps its outcome.
    bool FailStart(OperationOutcome outcome);
    // True when a running window took the work.
    bool HandOver(const WideString& path);

    EngineThreads engine;
    RunMode mode = RunMode::Setup;
    WideString outputFolder;
    OperationOutcome startFailure = OperationOutcome::Refused;
    SingleInstance instance;
    bool handedOver = false;
};
