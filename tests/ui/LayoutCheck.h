#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui_tests {

// What is wrong with the layout of a window's visible children, one line per fault, empty when
// nothing is: a child that leaves its parent's client area, two siblings that overlap (a group
// box may hold others whole), a text that does not fit its control. Texts are measured with
// the control's own font on a DC of the control, so at the dpi it is drawn at; the room a
// control keeps around its text (check box, arrow, frame) is taken at that dpi too.
std::vector<std::string> LayoutFaults(HWND parent);

// The same for one control, measuring `text` instead of the control's own (for texts it only
// shows at times, or draws itself).
std::vector<std::string> TextFaults(HWND control, const std::wstring& text);

// All faults on one string for a test's message.
std::string Describe(const std::vector<std::string>& faults);

// Width and height of a text in the control's font, lines taken one by one; '&' marks drop out
// when the control draws them as underlines.
SIZE TextSize(HWND control, const std::wstring& text);

} // namespace ui_tests
