#include "ConsoleRun.h"

#include "support/RunningProgram.h"

namespace e2e {

ConsoleRun::ConsoleRun(const std::wstring& arguments, const std::wstring& folder, HANDLE errorTo)
    : outPath(dir / L"out.txt") {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, 0, nullptr);
    HANDLE errWrite = nullptr;
    if (out == INVALID_HANDLE_VALUE ||
        (!errorTo && !::CreatePipe(&errRead, &errWrite, &inherit, 0)))
        return;
    if (errRead)
        ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    std::wstring program = testing_support::ProgramPath();
    program.replace(program.find_last_of(L'\\') + 1, std::wstring::npos, L"brindlecot-cli.exe");
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = errorTo ? errorTo : errWrite;
    // Wine's loader, busy, now and then fails a start before the program runs: once more then.
    for (int tries = 0; !started && tries < 2; ++tries) {
        started = ::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                   folder.empty() ? nullptr : folder.c_str(), &startup, &info) != 0;
        if (!started && ::GetLastError() != ERROR_INTERNAL_ERROR)
            break;
    }
    ::CloseHandle(out);
    if (errWrite)
        ::CloseHandle(errWrite);
}

ConsoleRun::~ConsoleRun() {
    if (started) {
        if (::WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0) {
            ::TerminateProcess(info.hProcess, 99);
            ::WaitForSingleObject(info.hProcess, 5000);
        }
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    if (errRead)
        ::CloseHandle(errRead);
}

ConsoleResult ConsoleRun::Finish(DWORD limitMs) {
    ConsoleResult result;
    if (!started)
        return result;
    char buffer[4096];
    for (DWORD got = 0;
         errRead && ::ReadFile(errRead, buffer, sizeof buffer, &got, nullptr) && got;)
        result.err.append(buffer, got);
    if (::WaitForSingleObject(info.hProcess, limitMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(info.hProcess, &result.exitCode);
    result.out = testing_support::ReadText(outPath);
    return result;
}

ConsoleResult RunConsole(const std::wstring& arguments, const std::wstring& folder) {
    ConsoleRun run(arguments, folder);
    return run.Finish();
}

} // namespace e2e
