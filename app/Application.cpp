#include "app/Application.h"

#include "app/ProgramInfo.h"

#include <windows.h>

bool Application::ParseCommandLine(WideString& path) {
    return ParseCommandLine(GetCommandLineW(), path);
}

bool Application::ParseCommandLine(const wchar_t* commandLine, WideString& path) {
    if (!commandLine)
        commandLine = L"";
    // The first " /" counts, even one inside the program's own path.
    const wchar_t* p = commandLine;
    while (*p && !(p[0] == L' ' && p[1] == L'/'))
        ++p;
    if (!*p) {
        mode_ = RunMode::Setup;
        return true;
    }
    p += 2;
    if (*p == L's') {
        mode_ = RunMode::Split;
    } else if (*p == L'j') {
        mode_ = RunMode::Join;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    ++p;
    // Blanks only; a tab belongs to the path.
    while (*p == L' ')
        ++p;
    wchar_t end = L' ';
    if (*p == L'"') {
        end = L'"';
        ++p;
    }
    const wchar_t* start = p;
    while (*p && *p != end)
        ++p;
    if (p == start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    path.Assign(start, static_cast<uint32_t>(p - start));
    return true;
}

void Application::ReportStartupError() const {
    WideString text;
    text.Format(L"Error #%u.", static_cast<unsigned>(GetLastError()));
    MessageBoxW(nullptr, text.Text(), kProgramCaption, MB_ICONERROR);
}
