#include "LayoutCheck.h"

#include "UiTestSupport.h"
#include "support/TestFiles.h"

#include "toolkit/DcGuards.h"
#include "toolkit/DeviceContext.h"
#include "toolkit/Dpi.h"
#include "toolkit/KSplitButton.h"

#include <commctrl.h>

#include <cstdio>

namespace ui_tests {

using testing_support::Narrow;

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    ::GetClassNameW(window, name, 64);
    return name;
}

std::string Name(HWND window) {
    char id[96];
    std::snprintf(id, sizeof id, "%s %d", Narrow(ClassOf(window)).c_str(), ::GetDlgCtrlID(window));
    return id;
}

std::string RectText(const RECT& r) {
    char text[80];
    std::snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

bool Is(const std::wstring& className, const wchar_t* name) {
    return ::lstrcmpiW(className.c_str(), name) == 0;
}

bool IsGroupBox(HWND window) {
    return Is(ClassOf(window), L"Button") &&
           (::GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

std::vector<HWND> VisibleChildren(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT))
        if (::IsWindowVisible(child))
            children.push_back(child);
    return children;
}

// The text as the control draws it: prefix marks gone unless the control shows them.
std::wstring Shown(HWND control, const std::wstring& text) {
    const std::wstring className = ClassOf(control);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const bool noPrefix = Is(className, L"Static") && (style & SS_NOPREFIX) != 0;
    if (noPrefix || Is(className, L"Edit") || Is(className, L"msctls_statusbar32"))
        return text;
    std::wstring shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

void Fault(std::vector<std::string>& faults, HWND control, const std::string& what) {
    faults.push_back(Name(control) + ": " + what);
}

void CheckFits(std::vector<std::string>& faults, HWND control, const std::wstring& text,
               SIZE room) {
    if (text.empty())
        return;
    const SIZE size = TextSize(control, text);
    if (size.cx > room.cx || size.cy > room.cy) {
        char detail[160];
        std::snprintf(detail, sizeof detail, "text \"%s\" needs %ldx%ld, has %ldx%ld",
                      Narrow(text).c_str(), size.cx, size.cy, room.cx, room.cy);
        Fault(faults, control, detail);
    }
}

// A static that wraps its text: measured in lines of its own width, as it draws them.
void CheckWrappedFits(std::vector<std::string>& faults, HWND control, const std::wstring& text,
                      SIZE room) {
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    RECT need = {0, 0, room.cx, 0};
    WindowDC dc(control);
    SelectObjectGuard font(dc.Get(),
                           reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc.Get(), text.c_str(), -1, &need,
                DT_CALCRECT | DT_WORDBREAK | ((style & SS_EDITCONTROL) ? DT_EDITCONTROL : 0) |
                    ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    if (!text.empty() && (need.right > room.cx || need.bottom > room.cy))
        Fault(faults, control,
              "text \"" + Narrow(text) + "\" needs " + std::to_string(need.right) + "x" +
                  std::to_string(need.bottom) + " in lines, has " + std::to_string(room.cx) + "x" +
                  std::to_string(room.cy));
}

} // namespace

SIZE TextSize(HWND control, const std::wstring& text) {
    WindowDC dc(control);
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0));
    if (font == nullptr)
        font = ::GetStockObject(SYSTEM_FONT);
    SelectObjectGuard selected(dc.Get(), font);
    const std::wstring shown = Shown(control, text);
    SIZE total{};
    size_t start = 0;
    while (start <= shown.size()) {
        size_t end = shown.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = shown.size();
        SIZE line{};
        ::GetTextExtentPoint32W(dc.Get(), shown.c_str() + start, static_cast<int>(end - start),
                                &line);
        if (line.cx > total.cx)
            total.cx = line.cx;
        total.cy += line.cy;
        start = end + 2;
    }
    return total;
}

std::vector<std::string> TextFaults(HWND control, const std::wstring& text) {
    std::vector<std::string> faults;
    const UINT dpi = Dpi::ForWindow(control);
    auto px = [dpi](int pixels) { return ScaleForDpi(pixels, dpi); };
    RECT client{};
    ::GetClientRect(control, &client);
    SIZE room = {client.right, client.bottom};
    const std::wstring className = ClassOf(control);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    if (Is(className, L"Button")) {
        switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX:
            // The title sits in the frame, a little in from its corner.
            room.cx -= px(16);
            break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
            // The box (13 pixels at 96 dpi) and the gap after it.
            room.cx -= px(13) + px(4);
            break;
        case BS_OWNERDRAW:
            // The split button: its label part, within the raised edges.
            room.cx -= px(KSplitButton::kArrowWidth) + 4;
            room.cy -= 4;
            break;
        default:
            // A push button's frame and focus rectangle.
            room.cx -= px(6);
            room.cy -= 4;
            break;
        }
        CheckFits(faults, control, text, room);
    } else if (Is(className, L"Static")) {
        // A line cut with an ellipsis by design still has to be high enough; the other kinds of
        // text static wrap their text in lines of their width.
        const LONG type = style & SS_TYPEMASK;
        const bool cut = (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_WORDELLIPSIS)) != 0;
        if (cut)
            room.cx = 0x7FFFFFFF;
        if (!cut && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT))
            CheckWrappedFits(faults, control, text, room);
        else
            CheckFits(faults, control, text, room);
    } else if (Is(className, L"Edit")) {
        room.cx = 0x7FFFFFFF;
        CheckFits(faults, control, text, room);
    } else if (Is(className, L"ComboBox")) {
        // The selection field and its drop-down arrow.
        room.cx -= Dpi::SystemMetric(SM_CXVSCROLL, dpi) + 4;
        CheckFits(faults, control, text, room);
    } else if (Is(className, L"msctls_statusbar32")) {
        room.cx = 0x7FFFFFFF;
        CheckFits(faults, control, text, room);
    }
    return faults;
}

std::vector<std::string> LayoutFaults(HWND parent) {
    std::vector<std::string> faults;
    RECT client{};
    ::GetClientRect(parent, &client);
    const std::vector<HWND> children = VisibleChildren(parent);
    for (HWND child : children) {
        const RECT r = ChildRect(child);
        RECT inside{};
        ::IntersectRect(&inside, &r, &client);
        if (::EqualRect(&inside, &r) == 0 || ::IsRectEmpty(&r))
            Fault(faults, child,
                  RectText(r) + " is not inside the client area " + RectText(client));
        std::wstring text = TextOf(child);
        if (Is(ClassOf(child), L"ComboBox") && ::SendMessageW(child, CB_GETCOUNT, 0, 0) > 0) {
            // The field shows the selected item; the dropped list must show the widest whole.
            const LRESULT count = ::SendMessageW(child, CB_GETCOUNT, 0, 0);
            std::wstring widest;
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t item[128] = L"";
                if (::SendMessageW(child, CB_GETLBTEXTLEN, i, 0) < 128)
                    ::SendMessageW(child, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                if (TextSize(child, item).cx > TextSize(child, widest).cx)
                    widest = item;
            }
            const LONG list = static_cast<LONG>(::SendMessageW(child, CB_GETDROPPEDWIDTH, 0, 0));
            CheckFits(faults, child, widest,
                      {list - Dpi::SystemMetric(SM_CXVSCROLL, Dpi::ForWindow(child)) - 4, 0x7FFF});
        } else if (Is(ClassOf(child), L"msctls_statusbar32")) {
            text = StatusBarText(child, 0);
        }
        for (const std::string& fault : TextFaults(child, text))
            faults.push_back(fault);
    }
    for (size_t i = 0; i < children.size(); ++i) {
        for (size_t j = i + 1; j < children.size(); ++j) {
            const RECT a = ChildRect(children[i]), b = ChildRect(children[j]);
            RECT common{};
            if (!::IntersectRect(&common, &a, &b))
                continue;
            // A group box frames whole controls.
            if ((IsGroupBox(children[i]) && ::EqualRect(&common, &b)) ||
                (IsGroupBox(children[j]) && ::EqualRect(&common, &a)))
                continue;
            Fault(faults, children[i],
                  RectText(a) + " overlaps " + Name(children[j]) + " " + RectText(b));
        }
    }
    return faults;
}

std::string Describe(const std::vector<std::string>& faults) {
    std::string text;
    for (const std::string& fault : faults)
        text += "\n  " + fault;
    return text;
}

} // namespace ui_tests
