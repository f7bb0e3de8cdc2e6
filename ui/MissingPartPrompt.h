#pragma once

#include "app/WideString.h"
#include "ops/OperationDisplay.h"
#include "toolkit/KModalDialog.h"

// The question a join asks when a part of its set is not where it looked: Retry (the disc or
// stick was swapped in), Browse... (the folder picker, from the folder looked in) or Cancel.
class MissingPartPrompt : public KModalDialog {
public:
    // Asks over owner until it has an answer: a folder picker closed without a folder asks
    // again. On Browse, folder is the folder chosen. Cancel also when the dialog can't be shown
    // or the program is told to end while it asks.
    static PartAnswer Ask(HWND owner, const wchar_t* partName, WideString& folder);

    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    MissingPartPrompt(const wchar_t* partName, const wchar_t* folder)
        : part(partName), place(folder) {}
    void FitQuestion(const wchar_t* text);

    const wchar_t* part;
    const wchar_t* place;
};
