#pragma once

#include "ops/Commands.h"
#include "res/resource.h"
#include "support/RunningProgram.h"
#include "support/SettingsValues.h"
#include "support/SystemText.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

namespace e2e {

// Control ids of the main window, as a person sees them.
constexpr int kActionButton = IDOK;
constexpr int kStatusLine = IDC_MAIN_STATUS;
constexpr int kSizeEdit = IDC_MAIN_SIZE;
constexpr int kUnitCombo = IDC_MAIN_UNIT;
// The index of "MB" in the unit list.
constexpr int kMegabytes = 2;

using testing_support::SystemTextOnOneLine;

// A case that starts from the program's defaults and leaves no settings behind.
class CleanSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::RemoveSettingsKey(); }
    void TearDown() override { testing_support::RemoveSettingsKey(); }
};

// A running split or join and its window.
class MainWindowRun {
public:
    explicit MainWindowRun(const std::wstring& arguments);

    bool Found() const { return window != nullptr; }
    HWND Window() const { return window; }
    testing_support::RunningProgram& Program() { return program; }

    std::wstring Caption() const { return testing_support::TextOf(window); }
    std::wstring Status() const { return testing_support::ControlText(window, kStatusLine); }
    std::wstring StatusBar() const {
        return testing_support::TextOf(
            ::FindWindowExW(window, nullptr, L"msctls_statusbar32", nullptr));
    }
    std::wstring ButtonLabel() const { return testing_support::ControlText(window, kActionButton); }

    // Types into the part-size edit and picks the unit, as a person would.
    void TypePartSize(const std::wstring& number, int unit);
    // A click on the action button's label.
    void PressAction();
    // A command from the action button's menu.
    void Choose(UINT command);
    // The close box of the caption.
    void Close();
    // What the shell sends once the window's taskbar button exists: from then on the program
    // shows its progress there, through the system's taskbar list.
    void AnnounceTaskbarButton();
    // Waits for the status line; returns what it last showed.
    std::wstring WaitForStatus(const std::wstring& wanted, DWORD limitMs = 60000) const;

private:
    testing_support::RunningProgram program;
    HWND window = nullptr;
};

} // namespace e2e
