#include "OpsTestSupport.h"

#include "io/ComputePool.h"
#include "io/IoPair.h"
#include "ops/JoinOperation.h"

#include "support/MessageLoop.h"
#include "support/SettingsValues.h"
#include "support/SystemText.h"
#include "ui/ShellActions.h"

#include <cwchar>

namespace ops_tests {

using namespace testing_support;

namespace {

constexpr wchar_t kDisplayClass[] = L"BrindlecotRecordingDisplay";

std::wstring Formatted(const wchar_t* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = _vscwprintf(format, copy);
    va_end(copy);
    std::wstring text(n > 0 ? n : 0, L'\0');
    if (n > 0)
        _vsnwprintf(&text[0], n, format, args);
    return text;
}

HRESULT WINAPI RecordSelection(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items,
                               DWORD) {
    ++ShellRecorder::calls;
    ShellRecorder::selected.clear();
    wchar_t text[MAX_PATH];
    if (!folder)
        return E_INVALIDARG;
    if (count == 0 && ::SHGetPathFromIDListW(folder, text))
        ShellRecorder::selected.push_back(text);
    for (UINT i = 0; i < count; ++i) {
        if (::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(items[i]), text))
            ShellRecorder::selected.push_back(text);
    }
    return S_OK;
}

} // namespace

int ShellRecorder::calls = 0;
std::vector<std::wstring> ShellRecorder::selected;

ShellRecorder::ShellRecorder() {
    calls = 0;
    selected.clear();
    // Parsing is the shell's own; only the opening of an Explorer window is recorded instead.
    InitShellEntryPoints();
    gOpenFolderAndSelectItems = RecordSelection;
}

ShellRecorder::~ShellRecorder() {
    gParseDisplayName = nullptr;
    gOpenFolderAndSelectItems = nullptr;
}

RecordingDisplay::RecordingDisplay() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kDisplayClass;
    ::RegisterClassW(&wc); // fails harmlessly when already registered
    window = ::CreateWindowExW(0, kDisplayClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RecordingDisplay::~RecordingDisplay() {
    ::DestroyWindow(window);
}

LRESULT CALLBACK RecordingDisplay::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_OPERATION_ENDED) {
        auto* self =
            reinterpret_cast<RecordingDisplay*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && wParam == 0 && lParam == 0)
            ++self->endedMessages;
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void RecordingDisplay::SetTitle(const wchar_t* name) {
    title = name;
}

void RecordingDisplay::SetTitleProgress(const wchar_t* name, float percent) {
    wchar_t text[64];
    _snwprintf(text, 64, L" [%.00f %%]", static_cast<double>(percent));
    title = std::wstring(name) + text;
    lastPercent = percent;
    ++progressTitles;
}

void RecordingDisplay::SetStatusV(const wchar_t* format, va_list args) {
    status = Formatted(format, args);
    statusHistory.push_back(status);
}

void RecordingDisplay::SetStatusBar(const wchar_t* text) {
    statusBar = text;
}

void RecordingDisplay::SetStatusBarV(const wchar_t* format, va_list args) {
    statusBar = Formatted(format, args);
}

void RecordingDisplay::SetAction(UINT id, UINT flags) {
    actionId = id;
    actionFlags = flags;
}

void RecordingDisplay::ShowPartSizePanel(bool show) {
    panelShown = show ? 1 : 0;
}

void OpenRecorder::OnOpen(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags,
                          HANDLE handle) {
    testing_support::ChainedObserver::OnOpen(name, access, disposition, flags, handle);
    opens.push_back(Open{name, access, disposition, flags, handle != INVALID_HANDLE_VALUE});
    if (handle != INVALID_HANDLE_VALUE)
        stillOpen.emplace_back(handle, name);
}

void OpenRecorder::OnClose(HANDLE handle) {
    testing_support::ChainedObserver::OnClose(handle);
    for (auto it = stillOpen.begin(); it != stillOpen.end(); ++it) {
        if (it->first == handle) {
            std::wstring name = it->second;
            stillOpen.erase(it);
            if (beforeClose)
                beforeClose(name, handle);
            break;
        }
    }
}

std::vector<OpenRecorder::Open> OpenRecorder::OpensOf(const std::wstring& name) const {
    std::vector<Open> found;
    for (const Open& open : opens) {
        if (::lstrcmpiW(open.name.c_str(), name.c_str()) == 0)
            found.push_back(open);
    }
    return found;
}

void OperationTest::SetUp() {
    // A clean settings key: every value at its default unless a test sets it.
    ClearSettingsKey();
    ASSERT_TRUE(gSettings.Open());
    ASSERT_TRUE(gDispatcher.Start()) << ::GetLastError();
    ASSERT_TRUE(gIoThread.Start()) << ::GetLastError();
    pairsAtStart = LiveIoPairs();
}

void OperationTest::TearDown() {
    // Abandoned IoPairs come back through the loop and free themselves: all of this test's,
    // however slow the machine, or they would come back in the next test and be counted there.
    PumpUntil([this] { return LiveIoPairs() <= pairsAtStart; }, 10000);
    // Each test starts the workers it needs afresh, as many as the machine has.
    gComputePool.Stop();
    gDispatcher.Stop();
    gIoThread.Stop();
    gSettings.Close();
}

void OperationTest::SetTuning(uint32_t bufferSize, uint32_t ioPairCount) {
    WriteDword(L"BufferSize", bufferSize);
    WriteDword(L"IoPairCount", ioPairCount);
}

bool OperationTest::RunUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    return PumpUntil(done, timeoutMs);
}

bool OperationTest::RunToEnd(const Operation& operation, DWORD timeoutMs) {
    bool ended = PumpUntil(
        [&] {
            return operation.State() == OperationState::Done ||
                   operation.State() == OperationState::Failed;
        },
        timeoutMs);
    // Whatever is still in flight drains within a few ticks.
    PumpFor(60);
    return ended;
}

std::wstring OperationTest::ErrorText(const std::wstring& step, DWORD code) const {
    std::wstring system = SystemText(code);
    wchar_t number[32];
    swprintf(number, 32, L": #%u", static_cast<unsigned>(code));
    return system.empty() ? step + number : step + number + L" - " + system;
}

void OperationTest::StartSplit(SplitOperation& split, const std::wstring& source) {
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
}

OperationState OperationTest::Split(const std::wstring& source, uint64_t partSize,
                                    RecordingDisplay& shown, const std::wstring& folder) {
    shown.partSize = partSize;
    SplitOperation split(shown);
    split.SetOutputFolder(Wide(folder));
    StartSplit(split, source);
    EXPECT_TRUE(RunToEnd(split));
    const OperationState state = split.State();
    split.Abort();
    return state;
}

OperationState OperationTest::Join(const std::wstring& whole, RecordingDisplay& shown,
                                   unsigned from, OperationOutcome* outcome,
                                   const std::wstring& folder) {
    JoinOperation join(shown);
    join.SetOutputFolder(Wide(folder));
    join.Start(Wide(PartName(whole, from)));
    EXPECT_TRUE(RunToEnd(join));
    const OperationState state = join.State();
    if (outcome)
        *outcome = join.Outcome();
    join.Abort();
    return state;
}

std::vector<uint8_t> OperationTest::MakeParts(const std::wstring& whole,
                                              const std::vector<uint64_t>& sizes,
                                              uint32_t firstSeed) {
    std::vector<uint8_t> all;
    unsigned i = 1;
    for (uint64_t size : sizes) {
        const std::vector<uint8_t> part = MakePattern(static_cast<size_t>(size), firstSeed++);
        EXPECT_TRUE(WriteWholeFile(PartName(whole, i++), part));
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

static void DamageList(std::minstd_rand& random, std::string& text, size_t least,
                       const std::string& marks, const std::string& filler) {
    for (size_t damage = least + random() % 3; damage > 0; --damage) {
        const size_t at = random() % (text.size() + 1);
        switch (random() % 5) {
        case 0:
            if (at < text.size() && random() % 2)
                text[at] ^= static_cast<char>(1 << random() % 8);
            else
                text.insert(at, 1, marks[random() % marks.size()]);
            break;
        case 1:
            text.resize(at);
            break;
        case 2:
            text.insert(at,
                        std::string(70000 + random() % 40000, filler[random() % filler.size()]));
            break;
        case 3:
            text += text.substr(at);
            break;
        default:
            for (size_t n = random() % 64; n > 0; --n)
                text.insert(random() % (text.size() + 1), 1, static_cast<char>(random()));
            break;
        }
    }
}

int FuzzSideFile(std::minstd_rand& random, int rounds, const std::function<std::string()>& make,
                 size_t least, const std::string& marks, const std::string& filler,
                 const std::function<bool(const char* text, size_t size)>& read) {
    constexpr size_t kPage = 4096;
    int taken = 0;
    for (int round = 0; round < rounds && !::testing::Test::HasFailure(); ++round) {
        SCOPED_TRACE(round);
        std::string text = make();
        DamageList(random, text, least, marks, filler);
        const size_t pages = (text.size() + kPage - 1) / kPage + 1;
        auto* block = static_cast<char*>(
            ::VirtualAlloc(nullptr, pages * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD was = 0;
        if (!block || !::VirtualProtect(block + (pages - 1) * kPage, kPage, PAGE_NOACCESS, &was)) {
            ADD_FAILURE() << "no fenced memory: " << ::GetLastError();
        } else {
            char* at = block + (pages - 1) * kPage - text.size();
            memcpy(at, text.data(), text.size());
            taken += read(at, text.size()) ? 1 : 0;
        }
        if (block)
            ::VirtualFree(block, 0, MEM_RELEASE);
    }
    return taken;
}

WideString Wide(const std::wstring& text) {
    WideString result;
    result.Assign(text.c_str(), static_cast<uint32_t>(text.size()));
    return result;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace ops_tests
