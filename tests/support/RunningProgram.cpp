#include "support/RunningProgram.h"

namespace testing_support {

namespace {

constexpr DWORD kProgramPollMs = 20;

struct Search {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK FindTopWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window))
        return TRUE;
    if (search->caption && TextOf(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    for (int up = 0; up < 2; ++up)
        path.erase(path.find_last_of(L'\\'));
    return path + L"\\brindlecot.exe";
}

RunningProgram::RunningProgram(const std::wstring& arguments) {
    std::wstring program = ProgramPath();
    std::wstring line = L"\"" + program + L"\"" + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // Wine's loader, busy, now and then fails a start with ERROR_INTERNAL_ERROR before the program
    // runs at all: that start is made again once. A program that isn't there is not.
    for (int tries = 0; !started && tries < 2; ++tries) {
        started = ::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &info) != 0;
        startError = started ? 0 : ::GetLastError();
        if (startError != ERROR_INTERNAL_ERROR)
            break;
    }
}

RunningProgram::~RunningProgram() {
    if (!started)
        return;
    if (!HasEnded()) {
        ::TerminateProcess(info.hProcess, 99);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
}

bool RunningProgram::HasEnded() const {
    return ::WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0;
}

bool RunningProgram::Terminate() {
    ::TerminateProcess(info.hProcess, 1);
    return ::WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0;
}

DWORD RunningProgram::WaitForExit(DWORD limitMs) const {
    if (::WaitForSingleObject(info.hProcess, limitMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(info.hProcess, &code);
    return code;
}

HWND RunningProgram::WaitForDialog(const wchar_t* caption, DWORD limitMs) const {
    DWORD start = ::GetTickCount();
    for (;;) {
        Search search{info.dwProcessId, caption, nullptr};
        ::EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (::GetTickCount() - start > limitMs || HasEnded())
            return nullptr;
        ::Sleep(kProgramPollMs);
    }
}

HWND RunningProgram::TopWindow() const {
    Search search{info.dwProcessId, nullptr, nullptr};
    ::EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace testing_support
