#include "IoTestSupport.h"

namespace io_tests {

DWORD TrackedRequest::uiThread = 0;
std::vector<TrackedRequest*>* TrackedRequest::order = nullptr;

bool WaitSystemDone(const IoRequest& request, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!HasOverlappedIoCompleted(&request.overlapped)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

void LetCompletionThreadRun() {
    Sleep(100);
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

Pipe::Pipe() {
    static int counter = 0;
    wchar_t name[80];
    swprintf(name, 80, L"\\\\.\\pipe\\bc-io-%lu-%d", GetCurrentProcessId(), ++counter);
    name_ = name;
    server_ = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536,
                               65536, 0, nullptr);
}

Pipe::~Pipe() {
    if (server_ != INVALID_HANDLE_VALUE)
        CloseHandle(server_);
}

bool Pipe::Send(const std::string& text) {
    DWORD written = 0;
    return WriteFile(server_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string Pipe::Receive(size_t n) {
    std::string text(n, '\0');
    size_t done = 0;
    while (done < n) {
        DWORD got = 0;
        if (!ReadFile(server_, &text[done], static_cast<DWORD>(n - done), &got, nullptr) ||
            got == 0)
            break;
        done += got;
    }
    text.resize(done);
    return text;
}

} // namespace io_tests
