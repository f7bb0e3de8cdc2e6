#pragma once

#include "ops/Operation.h"
#include "ops/OperationDisplay.h"
#include "support/MessageBoxProbe.h"
#include "support/MessageLoop.h"
#include "support/SettingsValues.h"
#include "support/WindowText.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
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
void PumpFor(DWORD ms, HWND dialog = nullptr);
// WM_QUIT messages taken by PumpDialog since the last call; the count is reset.
int TakeQuitCount();

// Texts of windows and status bars.
using testing_support::StatusBarPartCount;
using testing_support::StatusBarText;
using testing_support::TextOf;
using testing_support::TextWidth;

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// The settings key, written and read straight in the registry.
using testing_support::ClearSettingsKey;
using testing_support::ReadDword;
using testing_support::ReadValue;
using testing_support::ValueExists;
using testing_support::WriteBinary;
using testing_support::WriteDword;

// Message boxes, answered from a thread of their own.
using testing_support::DialogWatcher;
using testing_support::MessageBoxSeen;
using testing_support::ReadMessageBox;

} // namespace ui_tests
