#include "toolkit/BoldGroupFont.h"

#include "toolkit/Fonts.h"

bool BoldGroupFont::Make(HWND groupBox) {
    group = groupBox;
    const HWND dialog = ::GetParent(group);
    dpi = Dpi::ForWindow(dialog);
    Dpi::KeepControlFont(group);
    const auto dialogFont = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
    return HandFont(font, CreateFontVariant(dialogFont, FW_BOLD), {group});
}

void BoldGroupFont::FollowDpi(UINT newDpi) {
    if (newDpi == 0 || newDpi == dpi || !font.IsSet())
        return;
    if (HandFont(font, Dpi::CreateScaledFont(font.Get(), dpi, newDpi), {group}))
        dpi = newDpi;
}
