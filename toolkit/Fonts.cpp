#include "toolkit/Fonts.h"

HFONT CreateFontVariant(HFONT base, LONG weight, int growthQuarters) {
    LOGFONTW logFont{};
    if (base == nullptr || ::GetObjectW(base, sizeof logFont, &logFont) != sizeof logFont)
        return nullptr;
    logFont.lfWeight = weight;
    if (growthQuarters != 0) {
        logFont.lfHeight += logFont.lfHeight * growthQuarters / 4;
        logFont.lfWidth = 0;
    }
    return ::CreateFontIndirectW(&logFont);
}

bool HandFont(FontObject& owner, HFONT font, std::initializer_list<HWND> controls) {
    if (font == nullptr)
        return false;
    for (HWND control : controls)
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    owner.Reset(font);
    return true;
}
