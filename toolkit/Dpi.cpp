#include "toolkit/Dpi.h"

#include "toolkit/DeviceContext.h"

namespace {

using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
using GetDpiForSystemProc = UINT(WINAPI*)();
using GetSystemMetricsForDpiProc = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiProc = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiProc = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
using SetDialogDpiChangeBehaviorProc = BOOL(WINAPI*)(HWND, UINT, UINT);
using SetDialogControlDpiChangeBehaviorProc = BOOL(WINAPI*)(HWND, UINT, UINT);

// DDC_DISABLE_ALL and DCDC_DISABLE_FONTUPDATE of Windows 10 1703.
constexpr UINT kDialogDisableAll = 0x1;
constexpr UINT kControlDisableFontUpdate = 0x1;

template <class Proc> Proc Lookup(HMODULE module, const char* name) {
    if (module == nullptr)
        return nullptr;
    // The usual cast from FARPROC: the entry point has the signature its documentation gives.
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The entry points of user32 that not every system has; null where missing.
struct EntryPoints {
    GetDpiForWindowProc getDpiForWindow;
    GetDpiForSystemProc getDpiForSystem;
    GetSystemMetricsForDpiProc getSystemMetricsForDpi;
    AdjustWindowRectExForDpiProc adjustWindowRectExForDpi;
    SystemParametersInfoForDpiProc systemParametersInfoForDpi;
    SetDialogDpiChangeBehaviorProc setDialogDpiChangeBehavior;
    SetDialogControlDpiChangeBehaviorProc setDialogControlDpiChangeBehavior;
};

const EntryPoints& Entries() {
    // user32 is loaded for as long as the process has windows.
    static const EntryPoints entries = [] {
        const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        EntryPoints found{};
        found.getDpiForWindow = Lookup<GetDpiForWindowProc>(user32, "GetDpiForWindow");
        found.getDpiForSystem = Lookup<GetDpiForSystemProc>(user32, "GetDpiForSystem");
        found.getSystemMetricsForDpi =
            Lookup<GetSystemMetricsForDpiProc>(user32, "GetSystemMetricsForDpi");
        found.adjustWindowRectExForDpi =
            Lookup<AdjustWindowRectExForDpiProc>(user32, "AdjustWindowRectExForDpi");
        found.systemParametersInfoForDpi =
            Lookup<SystemParametersInfoForDpiProc>(user32, "SystemParametersInfoForDpi");
        found.setDialogDpiChangeBehavior =
            Lookup<SetDialogDpiChangeBehaviorProc>(user32, "SetDialogDpiChangeBehavior");
        found.setDialogControlDpiChangeBehavior = Lookup<SetDialogControlDpiChangeBehaviorProc>(
            user32, "SetDialogControlDpiChangeBehavior");
        return found;
    }();
    return entries;
}

UINT ScreenDpi() {
    WindowDC screen(nullptr);
    const int dpi = screen.IsSet() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

} // namespace

UINT Dpi::ForSystem() {
    if (const auto get = Entries().getDpiForSystem) {
        const UINT dpi = get();
        if (dpi != 0)
            return dpi;
    }
    return ScreenDpi();
}

UINT Dpi::ForWindow(HWND window) {
    if (const auto get = Entries().getDpiForWindow) {
        // 0 for a handle that is no window.
        const UINT dpi = window != nullptr ? get(window) : 0;
        if (dpi != 0)
            return dpi;
    }
    return ForSystem();
}

int Dpi::SystemMetric(int index, UINT dpi) {
    if (const auto get = Entries().getSystemMetricsForDpi)
        return get(index, dpi);
    // Without the call there is one dpi, the system's, which GetSystemMetrics answers for.
    return ::GetSystemMetrics(index);
}

BOOL Dpi::AdjustWindowRect(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
    if (const auto adjust = Entries().adjustWindowRectExForDpi)
        return adjust(rect, style, FALSE, exStyle, dpi);
    return ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

bool Dpi::KeepControlFont(HWND control) {
    const auto set = Entries().setDialogControlDpiChangeBehavior;
    return set != nullptr &&
           set(control, kControlDisableFontUpdate, kControlDisableFontUpdate) != FALSE;
}

bool Dpi::LayOutDialogAlone(HWND dialog) {
    const auto set = Entries().setDialogDpiChangeBehavior;
    return set != nullptr && set(dialog, kDialogDisableAll, kDialogDisableAll) != FALSE;
}

BOOL Dpi::StatusFont(LOGFONTW* font, UINT dpi) {
    // The record of Windows Vista and later; the padded border is the last field.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    BOOL got = FALSE;
    if (const auto get = Entries().systemParametersInfoForDpi)
        got = get(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    else
        got = ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    if (got)
        *font = metrics.lfStatusFont;
    return got;
}

LOGFONTW Dpi::ScaleFont(const LOGFONTW& font, UINT fromDpi, UINT toDpi) {
    LOGFONTW scaled = font;
    if (fromDpi != 0 && fromDpi != toDpi) {
        scaled.lfHeight =
            ::MulDiv(font.lfHeight, static_cast<int>(toDpi), static_cast<int>(fromDpi));
        scaled.lfWidth = 0;
    }
    return scaled;
}

HFONT Dpi::CreateScaledFont(HFONT font, UINT fromDpi, UINT toDpi) {
    LOGFONTW logFont{};
    if (font == nullptr || ::GetObjectW(font, sizeof logFont, &logFont) != sizeof logFont)
        return nullptr;
    const LOGFONTW scaled = ScaleFont(logFont, fromDpi, toDpi);
    return ::CreateFontIndirectW(&scaled);
}
