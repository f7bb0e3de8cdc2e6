#pragma once

#include "app/ConsoleStream.h"
#include "app/WideString.h"
#include "ops/OperationDisplay.h"
#include "ops/OperationOutcome.h"
#include "ui/TransferMeter.h"

#include <windows.h>

#include <cstdint>

class Operation;

// The console program's side of an operation: a progress line on standard error while data
// moves, the result on standard output, and a message-only window that hears of the
// operation's end and of Ctrl+C.
class ConsoleDisplay : public OperationDisplay {
public:
    ConsoleDisplay(ConsoleStream& results, ConsoleStream& progress);
    ~ConsoleDisplay();
    ConsoleDisplay(const ConsoleDisplay&) = delete;
    ConsoleDisplay& operator=(const ConsoleDisplay&) = delete;

    // Makes the message-only window on the calling thread, which then runs the operations.
    bool Create();
    // Ctrl+C and Ctrl+Break from now on ask the window to cancel, instead of ending the process.
    bool CatchCtrlC();

    // The part size, or the count, and the choices of every split and join that follow.
    void SetWork(uint64_t size, uint32_t count, const OperationChoices& workChoices);
    // Follows this operation from its start to its end.
    void Follow(const Operation& operation);
    // After Ctrl+C: nothing more is started.
    bool CancelAsked() const { return cancelAsked; }
    // The operation it follows has ended, well or not.
    bool Ended() const;
    // Takes the progress line away and prints what the window's status would show.
    void PrintResult(OperationOutcome outcome);

    void SetTitle(const wchar_t*) override {}
    void SetTitleProgress(const wchar_t*, float) override {}
    void SetStatusV(const wchar_t* format, va_list args) override;
    void SetStatusBar(const wchar_t* text) override;
    void SetStatusBarV(const wchar_t* format, va_list args) override;
    void SetAction(UINT, UINT) override {}
    uint64_t GetPartSize() override { return partSize; }
    uint32_t GetPartCount() override { return partCount; }
    void ShowPartSizePanel(bool) override {}
    OperationChoices Choices() override { return choices; }
    void Repaint() override {}
    void ShowVerdict(const CheckVerdict& verdict, const wchar_t* wholeName) override;
    HWND EndedTarget() const override { return window; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static BOOL WINAPI CtrlHandler(DWORD type);
    void OnTimer();
    void WriteProgress(int percent);
    void ClearProgressLine();

    ConsoleStream& results;
    ConsoleStream& progress;
    HWND window = nullptr;
    uint64_t partSize = 0;
    uint32_t partCount = 0;
    OperationChoices choices;
    const Operation* operation = nullptr;
    bool cancelAsked = false;
    bool running = false;
    TransferMeter meter;
    // Off a console, the last whole tenth a line was written for.
    int lastTenth = -1;
    // On a console, the characters of the progress line now shown.
    uint32_t shownLength = 0;
    WideString status;
    WideString statusBar;
    // A check's report: a line per part, after the status.
    WideString verdictLines;
};
