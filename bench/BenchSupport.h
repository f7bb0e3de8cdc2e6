#pragma once

// What the benchmarks share: a display that keeps only what they read, and the settings they set.

#include "BenchClock.h"

#include "app/ProgramInfo.h"
#include "app/StoredChoices.h"
#include "app/WideString.h"
#include "ops/Commands.h"
#include "ops/Operation.h"
#include "ops/OperationDisplay.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace bench {

// The window's part: only the part size and the last status bar text matter here.
class QuietDisplay : public OperationDisplay {
public:
    void SetTitle(const wchar_t*) override {}
    void SetTitleProgress(const wchar_t*, float) override {}
    void SetStatusV(const wchar_t* format, va_list args) override { status = Format(format, args); }
    void SetStatusBar(const wchar_t* text) override { last = text; }
    void SetStatusBarV(const wchar_t* format, va_list args) override {
        last = Format(format, args);
    }
    void SetAction(UINT, UINT) override {}
    uint64_t GetPartSize() override { return partSize; }
    void ShowPartSizePanel(bool) override {}
    OperationChoices Choices() override { return ReadStoredChoices(); }
    void Repaint() override {}
    HWND EndedTarget() const override { return nullptr; }

    uint64_t partSize = 0;
    std::wstring last;
    std::wstring status; // the status line now

private:
    static std::wstring Format(const wchar_t* format, va_list args) {
        wchar_t text[1024];
        _vsnwprintf(text, 1023, format, args);
        text[1023] = L'\0';
        return text;
    }
};

// Writes one of the program's settings as a REG_DWORD.
inline void WriteSetting(const wchar_t* name, DWORD value) {
    HKEY key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof value);
        ::RegCloseKey(key);
    }
}

inline WideString Wide(const std::wstring& text) {
    WideString result;
    result.Assign(text.c_str(), static_cast<uint32_t>(text.size()));
    return result;
}

// The program's message loop while the operation moves data; `afterEach(seconds, msg)` runs after
// every message with the time it took, where a benchmark takes its readings. Returns the longest
// a message took in seconds: as long, a window would not have answered.
template <class AfterEach> double RunWhileBusy(const Operation& operation, AfterEach afterEach) {
    MSG msg;
    double longest = 0;
    while ((operation.State() == OperationState::Running ||
            operation.State() == OperationState::Paused) &&
           ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        const double start = Now();
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        const double took = Now() - start;
        longest = took > longest ? took : longest;
        afterEach(took, msg);
    }
    return longest;
}

// Removes the parts "<source>.001", ... and the checksum list a split left beside source.
inline void RemoveParts(const std::wstring& source) {
    for (unsigned i = 1;; ++i) {
        wchar_t part[MAX_PATH + 16];
        _snwprintf(part, MAX_PATH + 16, L"%ls.%03u", source.c_str(), i);
        if (!::DeleteFileW(part))
            break;
    }
    ::DeleteFileW((source + L".sha256").c_str());
}

// When an operation's data passed marks on its way, in seconds from its start: where its start and
// its end cost more than its steady middle.
struct Phases {
    double to11 = 0;    // 11 % written
    double to91 = 0;    // 91 % written
    double written = 0; // every byte written
    double moving = 0;  // the status line first said "Processing": after a join's repair, its join
};

// Seconds of the operation from its start to its end, or a negative number when it failed; the
// last status bar text in said, and the longest message in longest when asked, with the status
// line as it ended in during; its phases when asked.
template <class Op>
double RunOperation(const std::wstring& path, uint64_t partSize, std::wstring& said,
                    double* longest = nullptr, std::wstring* during = nullptr,
                    Phases* phases = nullptr) {
    QuietDisplay shown;
    shown.partSize = partSize;
    Op operation(shown);
    const double start = Now();
    // Both come in messages to the window too.
    operation.Start(Wide(path));
    operation.OnCommand(kCommandSplit); // a join ignores it
    const double started = Now() - start;
    std::wstring busiestDuring;
    double busiest = 0;
    Phases passed;
    // BRINDLECOT_BENCH_LONG_MS=N names every message over N ms, when it came and under which
    // status, to find where the window stops answering.
    wchar_t reportText[16] = {};
    const double reportOver =
        ::GetEnvironmentVariableW(L"BRINDLECOT_BENCH_LONG_MS", reportText, 16) != 0
            ? _wtof(reportText) / 1000
            : 0;
    RunWhileBusy(operation, [&](double took, const MSG& msg) {
        if (reportOver > 0 && took > reportOver)
            fwprintf(stderr, L"  long message 0x%04x (%llu): %.1f ms at %.2f s, %.0f %%, \"%ls\"\n",
                     msg.message, static_cast<unsigned long long>(msg.wParam), took * 1000,
                     Now() - start, operation.Progress(), shown.status.c_str());
        if (took > busiest) {
            busiest = took;
            busiestDuring = shown.status;
        }
        const float progress = operation.Progress();
        const double now = Now() - start;
        passed.to11 = progress >= 11 && passed.to11 == 0 ? now : passed.to11;
        passed.to91 = progress >= 91 && passed.to91 == 0 ? now : passed.to91;
        passed.written = progress >= 100 && passed.written == 0 ? now : passed.written;
        if (passed.moving == 0 && shown.status.rfind(L"Processing", 0) == 0)
            passed.moving = now;
    });
    if (phases)
        *phases = passed;
    const double seconds = Now() - start;
    if (longest)
        *longest = started > busiest ? started : busiest;
    if (during)
        *during = started > busiest ? L"the start" : busiestDuring;
    said = shown.last;
    const bool done = operation.State() == OperationState::Done;
    operation.Abort();
    return done ? seconds : -1.0;
}

} // namespace bench
