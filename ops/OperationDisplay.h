#pragma once

#include "app/WideString.h"
#include "ops/OperationChoices.h"

#include <windows.h>

#include <cstdarg>
#include <cstdint>

class CheckVerdict;

// What the user answered when a join asked for a part it could not find.
enum class PartAnswer : int32_t {
    Retry = 0,  // look again in the same folder: a disc or stick was swapped in
    Browse = 1, // look in the folder the answer names
    Cancel = 2, // the join ends, the part missing
};

// What an operation needs of its window. The main window implements it; the operation uses
// nothing else of the window.
class OperationDisplay {
public:
    // Caption: the file name alone, or "%s [%.00f %%]" while data moves.
    virtual void SetTitle(const wchar_t* name) = 0;
    virtual void SetTitleProgress(const wchar_t* name, float percent) = 0;
    // The status line, from a wide printf format.
    virtual void SetStatusV(const wchar_t* format, va_list args) = 0;
    // The status bar: a finished text is shown as it is, '%' included.
    virtual void SetStatusBar(const wchar_t* text) = 0;
    virtual void SetStatusBarV(const wchar_t* format, va_list args) = 0;
    // Action button label and default command, menu enabling and button mode (Commands.h).
    virtual void SetAction(UINT id, UINT flags) = 0;
    // The part size chosen in the window, 0 when none.
    virtual uint64_t GetPartSize() = 0;
    // The number of parts chosen instead of a size, 0 when a size (or nothing) was chosen.
    virtual uint32_t GetPartCount() { return 0; }
    virtual void ShowPartSizePanel(bool show) = 0;
    // The choices as they stand when the operation asks, which is when it acts on one.
    virtual OperationChoices Choices() = 0;
    // A check's verdict, part by part, once it has ended; wholeName names the parts.
    virtual void ShowVerdict(const CheckVerdict&, const wchar_t* /*wholeName*/) {}
    // A folder for what the operation makes, asked of the user with this title where it cannot go
    // where it would. False, with ERROR_CANCELLED where the user declined, where none is given.
    virtual bool ChooseOutputFolder(const wchar_t* /*title*/, WideString& /*folder*/) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    // Repaints the progress display.
    virtual void Repaint() = 0;
    // The window that receives WM_OPERATION_ENDED.
    virtual HWND EndedTarget() const = 0;
    // Whether a result is opened or selected at the end where the settings ask for it: not
    // while more work waits behind this operation.
    virtual bool ShowsResult() const { return true; }
    // Whether a join that comes to a missing part may ask for it; where it may not (a console),
    // the join is refused at once, the part missing, before anything is written.
    virtual bool AsksForParts() const { return false; }
    // Asks for the part partName that is not in folder. On Browse, folder is the one chosen.
    // Called between messages with nothing in flight, never from a completion.
    virtual PartAnswer AskForPart(const wchar_t* /*partName*/, WideString& /*folder*/) {
        return PartAnswer::Cancel;
    }

    void SetStatus(const wchar_t* format, ...) {
        va_list args;
        va_start(args, format);
        SetStatusV(format, args);
        va_end(args);
    }
    void SetStatusBarFormat(const wchar_t* format, ...) {
        va_list args;
        va_start(args, format);
        SetStatusBarV(format, args);
        va_end(args);
    }

protected:
    ~OperationDisplay() = default;
};
