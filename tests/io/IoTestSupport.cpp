#include "IoTestSupport.h"

namespace io_tests {

DWORD TrackedRequest::uiThread = 0;
std::vector<TrackedRequest*>* TrackedRequest::order = nullptr;

bool WaitSystemDone(const IoRequest& request, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (!HasOverlappedIoCompleted(&request.overlapped)) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(1);
    }
    return true;
}

void LetCompletionThreadRun() {
    ::Sleep(100);
}

bool PumpUntilDone(const std::vector<TrackedRequest*>& requests, DWORD timeoutMs) {
    return testing_support::PumpUntil(
        [&] {
            for (auto* r : requests)
                if (!r->Done())
                    return false;
            return true;
        },
        timeoutMs);
}

void PumpTicks(int count) {
    int target = testing_support::TimerTicksDispatched() + count;
    testing_support::PumpUntil([&] { return testing_support::TimerTicksDispatched() >= target; },
                               2000);
}

DWORD RunTestInChildProcess(const wchar_t* testName) {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" + testName +
                           L" --gtest_also_run_disabled_tests";
    // The child's own test report would only clutter ours.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = nul;
    si.hStdError = nul;
    // A child that ends early on purpose must not leave the file that tells a crashed run.
    ::SetEnvironmentVariableW(L"TEST_PREMATURE_EXIT_FILE", nullptr);
    PROCESS_INFORMATION pi = {};
    BOOL started =
        ::CreateProcessW(exe, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    DWORD error = ::GetLastError();
    ::CloseHandle(nul);
    if (!started)
        return 2000 + error;
    DWORD code = 3000;
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(pi.hProcess, &code);
    else
        ::TerminateProcess(pi.hProcess, 3000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

Pipe::Pipe() {
    static int counter = 0;
    wchar_t pipeName[80];
    swprintf(pipeName, 80, L"\\\\.\\pipe\\bc-io-%lu-%d", ::GetCurrentProcessId(), ++counter);
    name = pipeName;
    server = ::CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536,
                                65536, 0, nullptr);
}

Pipe::~Pipe() {
    if (server != INVALID_HANDLE_VALUE)
        ::CloseHandle(server);
}

bool Pipe::Send(const std::string& text) {
    DWORD written = 0;
    return ::WriteFile(server, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string Pipe::Receive(size_t n) {
    std::string text(n, '\0');
    size_t done = 0;
    while (done < n) {
        DWORD got = 0;
        if (!::ReadFile(server, &text[done], static_cast<DWORD>(n - done), &got, nullptr) ||
            got == 0)
            break;
        done += got;
    }
    text.resize(done);
    return text;
}

} // namespace io_tests
