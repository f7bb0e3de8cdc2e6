#pragma once

#include "ops/Operation.h"
#include "ops/OperationDisplay.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui_tests {

// The current operation as the main window sees it, without moving any data: records what the
// window asks of it, and lets a test set the state and the progress.
class RecordingOperation : public Operation {
public:
    explicit RecordingOperation(OperationDisplay& window) : Operation(window) {}

    void Start(const WideString&) override {}
    void OnPartSizeChanged() override { sizesSeen.push_back(display.GetPartSize()); }
    void OnCommand(UINT id) override { commands.push_back(id); }
    void Abort() override { state = OperationState::Idle; }
    void PrepareIoPair(IoPair&) override {}
    void Finish() override {}

    void SetState(OperationState newState) { state = newState; }
    void SetProgress(uint64_t done, uint64_t total) {
        doneSize = done;
        totalSize = total;
    }

    std::vector<UINT> commands;
    // The part size the window offered at each change notice.
    std::vector<uint64_t> sizesSeen;
};

// Dispatches this thread's messages, with the dialog's keyboard navigation, until done() holds
// or timeoutMs have passed. A WM_QUIT on the way is taken out of the queue and counted.
bool PumpDialog(HWND dialog, const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Dispatches what is queued now (and what that posts) for a short while.
void PumpFor(HWND dialog, DWORD ms);
// WM_QUIT messages taken by PumpDialog since the last call; the count is reset.
int TakeQuitCount();

std::wstring WindowText(HWND window);
// The text of one part of a status bar; "" for a part it does not have.
std::wstring StatusBarText(HWND statusBar, int part = 0);
// How many parts a status bar has.
int StatusBarPartCount(HWND statusBar);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// The settings key: cleared, and values written or read straight in the registry.
void ClearSettingsKey();
void WriteDword(const wchar_t* name, uint32_t value);
void WriteBinary(const wchar_t* name, const void* data, DWORD size);
// The bytes of a value; empty when it is missing.
std::vector<uint8_t> ReadValue(const wchar_t* name);
bool ValueExists(const wchar_t* name);
uint32_t ReadDword(const wchar_t* name);

// Watches, on a thread of its own, for a visible dialog with this caption that is not `except`,
// then runs `act` on it there (reading controls, pressing buttons with BM_CLICK).
class DialogWatcher {
public:
    DialogWatcher(const wchar_t* caption, HWND except, std::function<void(HWND)> act,
                  DWORD timeoutMs = 10000);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    bool Done() const { return done_; }
    bool Found() const { return found_; }

private:
    std::atomic<bool> done_{false};
    std::atomic<bool> found_{false};
    std::thread thread_;
};

// What a message box showed, read from another thread.
struct MessageBoxContent {
    std::wstring text;
    bool hasYes = false;
    bool hasNo = false;
    bool noIsDefault = false;
    bool hasIcon = false;
    HWND owner = nullptr;
};
MessageBoxContent ReadMessageBox(HWND box);

} // namespace ui_tests
