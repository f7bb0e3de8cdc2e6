#include "ui/SingleInstance.h"

#include "ui/HandOverRecord.h"

#include <sddl.h>

#include <memory>
#include <new>

namespace {

// How long a launch waits for a first window that is still being made.
constexpr DWORD kLockWaitMs = 20000;
// How long a launch waits for the window to answer its record.
constexpr UINT kAnswerWaitMs = 20000;

constexpr wchar_t kNamePrefix[] = L"Local\\Brindlecot.Queue.";

// The SID of the process's user as text, or "" where it cannot be had (then the name is the
// session's alone).
void AppendUserSid(WideString& text) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return;
    KernelHandle owned(token);
    DWORD needed = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    if (needed == 0 || needed > 4096)
        return;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[needed]);
    if (!buffer || !::GetTokenInformation(token, TokenUser, buffer.get(), needed, &needed))
        return;
    wchar_t* sid = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &sid))
        return;
    text.AppendFormat(L"%s", sid);
    ::LocalFree(sid);
}

struct Search {
    const wchar_t* name;
    HWND found;
};

} // namespace

bool SingleInstance::Lock() {
    if (locked)
        return true;
    name.Format(L"%s", kNamePrefix);
    AppendUserSid(name);
    if (!mutex.IsSet())
        mutex.Reset(::CreateMutexW(nullptr, FALSE, name.Text()));
    if (!mutex.IsSet())
        return false;
    // An abandoned mutex is ours all the same: its window went with its process.
    const DWORD waited = ::WaitForSingleObject(mutex.Get(), kLockWaitMs);
    locked = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return locked;
}

void SingleInstance::Unlock() {
    if (locked)
        ::ReleaseMutex(mutex.Get());
    locked = false;
}

BOOL CALLBACK SingleInstance::FindMarked(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    if (::GetPropW(window, search->name) == nullptr)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND SingleInstance::FindRunning() const {
    if (name.Length() == 0)
        return nullptr;
    Search search{name.Text(), nullptr};
    ::EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool SingleInstance::Publish(HWND window) {
    return locked && name.Length() != 0 &&
           ::SetPropW(window, name.Text(), reinterpret_cast<HANDLE>(1)) != 0;
}

void SingleInstance::Withdraw(HWND window) const {
    if (name.Length() != 0 && window != nullptr)
        ::RemovePropW(window, name.Text());
}

bool SingleInstance::HandTo(HWND window, const HandOverRecord& record) {
    COPYDATASTRUCT message = record.Message();
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message),
                               SMTO_NORMAL | SMTO_ABORTIFHUNG, kAnswerWaitMs, &answer))
        return false;
    return answer == TRUE;
}
