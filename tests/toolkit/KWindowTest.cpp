#include <gtest/gtest.h>

#include <memory>

#include "ToolkitTestSupport.h"
#include "toolkit/KButton.h"
#include "toolkit/KWindow.h"
#include "support/WindowText.h"

using namespace toolkit_test;
using testing_support::TextOf;

namespace {

WNDPROC ProcOf(HWND window) {
    return reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
}

LONG_PTR UserDataOf(HWND window) {
    return ::GetWindowLongPtrW(window, GWLP_USERDATA);
}

// A top-level edit: a system class with behaviour of its own to check after unbinding.
HWND MakeEdit(const wchar_t* text = L"") {
    return ::CreateWindowExW(0, L"EDIT", text, WS_POPUP, 10, 10, 100, 20, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

// Owns a test window for the length of a test.
struct WindowGuard {
    explicit WindowGuard(HWND w) : window(w) {}
    ~WindowGuard() {
        if (::IsWindow(window))
            ::DestroyWindow(window);
    }
    HWND window;
};

// A class whose procedure is StaticWindowProc, so that Create binds at WM_NCCREATE.
const wchar_t* ObjectClass() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.style = CS_GLOBALCLASS;
        wc.lpfnWndProc = &KWindow::StaticWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"ToolkitTestObjectWindow";
        registered = ::RegisterClassW(&wc) != 0;
    }
    return L"ToolkitTestObjectWindow";
}

// Writes down the messages its window procedure sees.
class RecordingWindow : public KWindow {
public:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(msg);
        if (msg == WM_NCCREATE)
            handleAtNcCreate = Handle();
        return KWindow::WindowProc(msg, wParam, lParam);
    }
    int Count(UINT msg) const {
        int n = 0;
        for (UINT m : messages)
            n += m == msg;
        return n;
    }
    std::vector<UINT> messages;
    HWND handleAtNcCreate = nullptr;
};

} // namespace

TEST(KWindowAtom, OneValueWhileObjectsLiveGoneWithTheLast) {
    // No toolkit object is alive between tests.
    ASSERT_EQ(::FindAtomW(L"KWindow"), 0);
    auto first = std::make_unique<KWindow>();
    const ATOM atom = KWindow::BindingAtom();
    ASSERT_NE(atom, 0);
    EXPECT_EQ(::FindAtomW(L"KWindow"), atom);
    {
        KButton second;
        KWindow third;
        EXPECT_EQ(KWindow::BindingAtom(), atom);
        EXPECT_EQ(::FindAtomW(L"KWindow"), atom);
    }
    // Two of three gone: still there.
    EXPECT_EQ(::FindAtomW(L"KWindow"), atom);
    first.reset();
    EXPECT_EQ(::FindAtomW(L"KWindow"), 0);
    // It is a local atom: the global table never had it.
    EXPECT_EQ(::GlobalFindAtomW(L"KWindow"), 0);
}

TEST(KWindowBinding, AttachRefusesBadHandleAndSecondBinding) {
    WindowGuard a(MakeEdit()), b(MakeEdit());
    KWindow object;
    EXPECT_FALSE(object.Attach(reinterpret_cast<HWND>(0x1234), false));
    EXPECT_FALSE(object.Attach(nullptr, true));
    EXPECT_EQ(object.Handle(), nullptr);

    ASSERT_TRUE(object.Attach(a.window, false));
    EXPECT_EQ(object.Handle(), a.window);
    EXPECT_EQ(KWindow::FromHandle(a.window), &object);
    EXPECT_FALSE(object.IsSubclassed());
    EXPECT_EQ(UserDataOf(a.window), 0);

    const WNDPROC procOfB = ProcOf(b.window);
    EXPECT_FALSE(object.Attach(b.window, true));
    EXPECT_EQ(object.Handle(), a.window);
    EXPECT_EQ(KWindow::FromHandle(b.window), nullptr);
    EXPECT_EQ(ProcOf(b.window), procOfB);
    EXPECT_EQ(UserDataOf(b.window), 0);
}

TEST(KWindowBinding, DetachAndDestroyUnbind) {
    WindowGuard a(MakeEdit(L"kept"));
    KWindow object;
    EXPECT_FALSE(object.Detach());
    EXPECT_FALSE(object.Destroy());

    ASSERT_TRUE(object.Attach(a.window, true));
    ASSERT_TRUE(object.Detach());
    EXPECT_EQ(object.Handle(), nullptr);
    EXPECT_EQ(KWindow::FromHandle(a.window), nullptr);
    EXPECT_NE(ProcOf(a.window), &KWindow::StaticWindowProc);
    EXPECT_TRUE(::IsWindow(a.window));
    EXPECT_EQ(TextOf(a.window), L"kept");

    // Unbound again, it binds again; Destroy takes the window with it.
    ASSERT_TRUE(object.Attach(a.window, true));
    ASSERT_TRUE(object.Destroy());
    EXPECT_EQ(object.Handle(), nullptr);
    EXPECT_FALSE(::IsWindow(a.window));
}

TEST(KWindowSubclass, RoutesMessagesAndGivesTheWindowBack) {
    WindowGuard a(MakeEdit());
    const WNDPROC original = ProcOf(a.window);
    RecordingWindow object;
    ASSERT_TRUE(object.Attach(a.window, true));
    EXPECT_TRUE(object.IsSubclassed());
    EXPECT_EQ(ProcOf(a.window), &KWindow::StaticWindowProc);
    EXPECT_EQ(UserDataOf(a.window), reinterpret_cast<LONG_PTR>(&object));

    // The edit still does its own work under the new procedure, which sees the messages.
    ::SendMessageW(a.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"through"));
    EXPECT_EQ(TextOf(a.window), L"through");
    EXPECT_EQ(object.Count(WM_SETTEXT), 1);

    EXPECT_FALSE(object.Subclass());
    EXPECT_TRUE(object.Unsubclass());
    EXPECT_FALSE(object.Unsubclass());
    EXPECT_EQ(ProcOf(a.window), original);
    EXPECT_EQ(UserDataOf(a.window), 0);
    EXPECT_EQ(object.Handle(), a.window);

    ::SendMessageW(a.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"after"));
    EXPECT_EQ(TextOf(a.window), L"after");
    EXPECT_EQ(object.Count(WM_SETTEXT), 1);
}

TEST(KWindowSubclass, SecondObjectCannotSubclassAgain) {
    WindowGuard a(MakeEdit());
    KWindow first, second;
    ASSERT_TRUE(first.Attach(a.window, true));
    // Binding the same window a second time is allowed, subclassing it is not.
    ASSERT_TRUE(second.Attach(a.window, true));
    EXPECT_FALSE(second.IsSubclassed());
    EXPECT_FALSE(second.Subclass());
    EXPECT_EQ(UserDataOf(a.window), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(ProcOf(a.window), &KWindow::StaticWindowProc);
    // The later binding is the one FromHandle finds; releasing it leaves the first's intact.
    EXPECT_EQ(KWindow::FromHandle(a.window), &second);
    second.Detach();
    EXPECT_EQ(UserDataOf(a.window), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(ProcOf(a.window), &KWindow::StaticWindowProc);
}

TEST(KWindowSubclass, WindowOutlivesItsObject) {
    WindowGuard a(MakeEdit());
    const WNDPROC original = ProcOf(a.window);
    {
        KWindow object;
        ASSERT_TRUE(object.Attach(a.window, true));
    }
    EXPECT_TRUE(::IsWindow(a.window));
    EXPECT_EQ(ProcOf(a.window), original);
    EXPECT_EQ(UserDataOf(a.window), 0);
    EXPECT_EQ(KWindow::FromHandle(a.window), nullptr);
    ::SendMessageW(a.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"alive"));
    EXPECT_EQ(TextOf(a.window), L"alive");

    // Bound without subclassing, the object leaves a GWL_USERDATA that is not its own alone.
    ::SetWindowLongPtrW(a.window, GWLP_USERDATA, 77);
    {
        KWindow object;
        ASSERT_TRUE(object.Attach(a.window, false));
    }
    EXPECT_EQ(UserDataOf(a.window), 77);
    EXPECT_EQ(ProcOf(a.window), original);
}

TEST(KWindowSubclass, ASecondObjectGoingLeavesTheFirstHooked) {
    WindowGuard a(MakeEdit());
    const WNDPROC original = ProcOf(a.window);
    RecordingWindow first;
    ASSERT_TRUE(first.Attach(a.window, true));
    {
        KWindow second;
        ASSERT_TRUE(second.Attach(a.window, false));
    }
    // The first object still owns the window's procedure and still sees its messages.
    EXPECT_EQ(UserDataOf(a.window), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(ProcOf(a.window), &KWindow::StaticWindowProc);
    ::SendMessageW(a.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"still"));
    EXPECT_EQ(first.Count(WM_SETTEXT), 1);
    EXPECT_EQ(TextOf(a.window), L"still");

    // Its own going clears what it set.
    first.Detach();
    EXPECT_EQ(UserDataOf(a.window), 0);
    EXPECT_EQ(ProcOf(a.window), original);
}

TEST(KWindowSubclass, DestroyedWindowUnbindsItsObject) {
    HWND edit = MakeEdit();
    KWindow object;
    ASSERT_TRUE(object.Attach(edit, true));
    ASSERT_TRUE(::DestroyWindow(edit));
    // The dead handle is forgotten, so the object can bind again.
    EXPECT_EQ(object.Handle(), nullptr);
    EXPECT_FALSE(object.IsSubclassed());
    WindowGuard other(MakeEdit());
    EXPECT_TRUE(object.Attach(other.window, true));
}

TEST(KWindowCreate, BindsAtNcCreateThroughTheClassProcedure) {
    RecordingWindow object;
    ASSERT_TRUE(object.Create(ObjectClass(), 0, WS_POPUP, 0, 0, 50, 40, nullptr, nullptr));
    WindowGuard guard(object.Handle());
    EXPECT_NE(object.handleAtNcCreate, nullptr);
    EXPECT_EQ(object.handleAtNcCreate, object.Handle());
    EXPECT_EQ(object.messages.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(KWindow::FromHandle(object.Handle()), &object);
    EXPECT_EQ(UserDataOf(object.Handle()), reinterpret_cast<LONG_PTR>(&object));
    // Without a replaced procedure the messages end in DefWindowProcW.
    EXPECT_TRUE(::SetWindowTextW(object.Handle(), L"default"));
    wchar_t text[32] = L"";
    EXPECT_EQ(object.GetWindowTextW(text, 32), 7);
    EXPECT_STREQ(text, L"default");

    EXPECT_FALSE(object.Create(L"STATIC", 0, WS_POPUP, 0, 0, 5, 5, nullptr, nullptr));
    EXPECT_EQ(object.Handle(), guard.window);
}

TEST(KWindowCreate, SystemClassAndFailure) {
    KWindow parentObject;
    ASSERT_TRUE(parentObject.Create(L"STATIC", 0, WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
    WindowGuard parent(parentObject.Handle());
    KWindow child;
    ASSERT_TRUE(child.Create(L"BUTTON", 0, WS_CHILD | WS_VISIBLE, 1, 2, 30, 20, parent.window,
                             reinterpret_cast<HMENU>(77)));
    EXPECT_EQ(child.GetDlgCtrlID(), 77);
    EXPECT_EQ(parentObject.GetDlgItem(77), child.Handle());
    EXPECT_EQ(KWindow::FromHandle(child.Handle()), &child);
    EXPECT_EQ(child.GetWindowTextLengthW(), 0);
    // The child asks its parent for a font; a top-level window has none to ask.
    EXPECT_EQ(child.GetParentFont(), parentObject.GetFont());
    EXPECT_EQ(parentObject.GetParentFont(), nullptr);

    KWindow failed;
    EXPECT_FALSE(failed.Create(L"NoSuchClassAnywhere", 0, WS_POPUP, 0, 0, 5, 5, nullptr, nullptr));
    EXPECT_EQ(failed.Handle(), nullptr);
}

TEST(KWindowStyle, ModifyStyleAddsAndRemoves) {
    WindowGuard a(MakeEdit());
    KWindow object;
    ASSERT_TRUE(object.Attach(a.window, false));
    const DWORD before = object.GetStyle();
    ASSERT_EQ(before & ES_NUMBER, 0u);
    DWORD after = object.ModifyStyle(ES_NUMBER, WS_POPUP);
    EXPECT_EQ(after, (before & ~static_cast<DWORD>(WS_POPUP)) | ES_NUMBER);
    EXPECT_EQ(object.GetStyle(), after);
    DWORD ex = object.ModifyExStyle(WS_EX_TOOLWINDOW, 0);
    EXPECT_NE(ex & WS_EX_TOOLWINDOW, 0u);
    EXPECT_EQ(object.GetExStyle(), ex);
    EXPECT_TRUE(object.IsHidden());
    object.ShowWindow(SW_SHOWNA);
    EXPECT_FALSE(object.IsHidden());
}

TEST(KWindowReflection, SubclassedParentReflectsToChildObjects) {
    RecordingWindow parent;
    ASSERT_TRUE(parent.Create(ObjectClass(), 0, WS_POPUP, 0, 0, 200, 100, nullptr, nullptr));
    WindowGuard guard(parent.Handle());
    HWND button =
        ::CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 50, 20,
                          parent.Handle(), reinterpret_cast<HMENU>(5), nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    ReflectProbe probe;
    ASSERT_TRUE(probe.Attach(button, false));

    // A real click: the button's WM_COMMAND reaches the probe through the parent.
    probe.handle = TRUE;
    probe.setAnswer = true;
    probe.answer = 1234;
    ::SendMessageW(button, BM_CLICK, 0, 0);
    ASSERT_EQ(probe.reflected.size(), 1u);
    EXPECT_EQ(probe.reflected[0].msg, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(probe.reflected[0].wParam, MAKEWPARAM(5, BN_CLICKED));

    NMHDR header = {button, 5, 99};
    EXPECT_EQ(::SendMessageW(parent.Handle(), WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header)),
              1234);
    EXPECT_EQ(probe.reflected.size(), 2u);

    // Not handled: the message goes on; a command without a window is not reflected at all.
    probe.handle = FALSE;
    EXPECT_EQ(::SendMessageW(parent.Handle(), WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header)), 0);
    EXPECT_EQ(probe.reflected.size(), 3u);
    ::SendMessageW(parent.Handle(), WM_COMMAND, 5, 0);
    EXPECT_EQ(probe.reflected.size(), 3u);
}
