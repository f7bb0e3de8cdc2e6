#pragma once

#include "app/Globals.h"
#include "app/Settings.h"
#include "app/StoredChoices.h"
#include "app/WideString.h"
#include "io/CompletionDispatcher.h"
#include "io/IoThread.h"
#include "ops/Commands.h"
#include "ops/Operation.h"
#include "ops/OperationDisplay.h"
#include "ops/SplitOperation.h"
#include "support/AlignmentChecker.h"
#include "support/ChainedObserver.h"
#include "support/SettingsValues.h"
#include "support/TestFiles.h"
#include "io/IoObserver.h"

#include <functional>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ops_tests {

// The sector size the cases lay their files out for.
constexpr uint32_t kSector = 512;

// Stands in for the main window: remembers every call an operation makes, and receives
// WM_OPERATION_ENDED in a real (message-only) window.
class RecordingDisplay : public OperationDisplay {
public:
    RecordingDisplay();
    ~RecordingDisplay();
    RecordingDisplay(const RecordingDisplay&) = delete;
    RecordingDisplay& operator=(const RecordingDisplay&) = delete;

    void SetTitle(const wchar_t* name) override;
    void SetTitleProgress(const wchar_t* name, float percent) override;
    void SetStatusV(const wchar_t* format, va_list args) override;
    void SetStatusBar(const wchar_t* text) override;
    void SetStatusBarV(const wchar_t* format, va_list args) override;
    void SetAction(UINT id, UINT flags) override;
    uint64_t GetPartSize() override { return partSize; }
    void ShowPartSizePanel(bool show) override;
    // The tests set the choices in the registry, as the options dialog does.
    OperationChoices Choices() override { return ReadStoredChoices(); }
    void Repaint() override { ++repaints; }
    HWND EndedTarget() const override { return window; }

    uint64_t partSize = 0;
    std::wstring title;
    std::wstring status;
    std::wstring statusBar;
    UINT actionId = 0;
    UINT actionFlags = 0;
    int panelShown = -1; // -1 never told, else the last value
    int repaints = 0;
    int progressTitles = 0;
    float lastPercent = -1.0f;
    int endedMessages = 0;
    std::vector<std::wstring> statusHistory;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window = nullptr;
};

// Runs a step once, when the status line first starts with `at` after it has started with
// `after` (at once where that is empty).
class StepOnStatusDisplay : public RecordingDisplay {
public:
    void SetStatusV(const wchar_t* format, va_list args) override {
        RecordingDisplay::SetStatusV(format, args);
        seen = seen || status.rfind(after, 0) == 0;
        if (seen && then && status.rfind(at, 0) == 0) {
            std::function<void()> step = then;
            then = nullptr;
            step();
        }
    }
    std::wstring after, at;
    std::function<void()> then;

private:
    bool seen = false;
};

// Selections handed to Explorer are recorded here instead of starting Explorer.
struct ShellRecorder {
    ShellRecorder();
    ~ShellRecorder();
    static int calls;
    static std::vector<std::wstring> selected; // the files of the last selection
};

// Remembers every open that AsyncFile makes, and can act when a chosen file is opened.
class OpenRecorder : public testing_support::ChainedObserver {
public:
    struct Open {
        std::wstring name;
        DWORD access;
        DWORD disposition;
        DWORD flags;
        bool succeeded;
    };

    void OnOpen(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags,
                HANDLE handle) override;
    void OnClose(HANDLE handle) override;

    // The opens of one file, in order.
    std::vector<Open> OpensOf(const std::wstring& name) const;

    std::vector<Open> opens;
    // Runs right before a file opened through AsyncFile is closed.
    std::function<void(const std::wstring& name, HANDLE handle)> beforeClose;

private:
    std::vector<std::pair<HANDLE, std::wstring>> stillOpen;
};

// Starts the engine on this thread, opens the settings, and checks every unbuffered transfer.
class OperationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Settings the program only reads: written straight into the registry.
    static void SetTuning(uint32_t bufferSize, uint32_t ioPairCount);

    // Runs the message loop until the operation is Done or Failed and every IoPair has come
    // back (no transfer is seen for a few ticks).
    bool RunToEnd(const Operation& operation, DWORD timeoutMs = 60000);
    // Runs the message loop until the condition holds.
    bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000);

    // "format text: #code - system text" as an error report composes it.
    std::wstring ErrorText(const std::wstring& step, DWORD code) const;

    // Starts a split of source in parts of the display's size and gives it the Split command.
    static void StartSplit(SplitOperation& split, const std::wstring& source);
    // Splits source in parts of partSize bytes to the end and lets the split go, as at exit: the
    // state it ended in, the display as it was left. The files go to folder where one is given.
    OperationState Split(const std::wstring& source, uint64_t partSize, RecordingDisplay& shown,
                         const std::wstring& folder = L"");
    // Joins the parts of whole the same way, started on part number from.
    OperationState Join(const std::wstring& whole, RecordingDisplay& shown, unsigned from = 1,
                        OperationOutcome* outcome = nullptr, const std::wstring& folder = L"");
    // Writes parts of the given sizes for whole, part i of the pattern of seed firstSeed + i - 1:
    // what the whole file must hold.
    static std::vector<uint8_t> MakeParts(const std::wstring& whole,
                                          const std::vector<uint64_t>& sizes, uint32_t firstSeed);

    testing_support::TempDir dir{L"ops"};
    testing_support::AlignmentChecker checker;
    // The IoPairs alive when the test began.
    int32_t pairsAtStart = 0;
};

// A fuzz run over a reader of side files, `rounds` texts long. Each text that `make` draws is
// damaged least to least + 2 times, as a bad disk or an attacker might: bits flipped, bytes of
// marks put in, cut short, huge lines of filler, lines twice, noise. `read` gets it from memory
// that ends where a page begins that may not be touched, so that reading one byte past the text
// faults, and says whether it took the text. Returns how many were taken.
int FuzzSideFile(std::minstd_rand& random, int rounds, const std::function<std::string()>& make,
                 size_t least, const std::string& marks, const std::string& filler,
                 const std::function<bool(const char* text, size_t size)>& read);
// Part numbers rising, each once.
template <typename Entries> void ExpectPartsRising(const Entries& parts) {
    for (int32_t i = 1; i < parts.Count(); ++i)
        EXPECT_GT(parts[i].part, parts[i - 1].part) << i;
    EXPECT_TRUE(parts.Count() == 0 || parts[0].part > 0);
}

WideString Wide(const std::wstring& text);
bool Contains(const std::string& text, const char* part);

// A split with recovery data, its parts selected, without a checksum list.
class SplitRecoveryTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        testing_support::WriteDword(L"RecoveryPercent", 20);
        testing_support::WriteDword(L"WriteChecksums", 0);
        testing_support::WriteDword(L"SelectFiles", 1);
    }
    // Splits source in parts of partSize bytes: the status bar when that is refused at once, else
    // empty once the split is done.
    std::wstring Split(const std::wstring& source, uint64_t partSize = testing_support::MiB) {
        RecordingDisplay shown;
        shown.partSize = partSize;
        SplitOperation split(shown);
        StartSplit(split, source);
        const bool refused = split.State() == OperationState::Failed;
        if (!refused) {
            EXPECT_TRUE(RunToEnd(split));
            EXPECT_EQ(split.State(), OperationState::Done)
                << testing_support::Narrow(shown.statusBar);
        }
        split.Abort();
        return refused ? shown.statusBar : L"";
    }

    ShellRecorder shell;
};

} // namespace ops_tests
