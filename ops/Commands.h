#pragma once

#include <windows.h>

// Commands shared by the main window's action button, its menu and the operations.
constexpr UINT kCommandSplit = 1000;
constexpr UINT kCommandPause = 1001;
constexpr UINT kCommandResume = 1002;
constexpr UINT kCommandOpen = 1003;
constexpr UINT kCommandFind = 1004;
constexpr UINT kCommandExit = 1005;
constexpr UINT kCommandConfiguration = 1006;
// A check's: rebuilds the parts it found missing or damaged where they lie.
constexpr UINT kCommandRepair = 1007;

// Posted by an operation to its window after a successful end (wParam and lParam 0).
constexpr UINT WM_OPERATION_ENDED = 0x8000;

// SetAction flag bits. kActionRunGroup updates the enabling of Split, Pause and Resume from
// their bits; kActionResultGroup that of Open and Find. The mode bits choose what a click on the
// action button's label does.
constexpr UINT kActionRunGroup = 0x01;
constexpr UINT kActionSplitEnabled = 0x02;
constexpr UINT kActionPauseEnabled = 0x04;
constexpr UINT kActionResumeEnabled = 0x08;
constexpr UINT kActionResultGroup = 0x10;
constexpr UINT kActionOpenEnabled = 0x20;
constexpr UINT kActionFindEnabled = 0x40;
constexpr UINT kActionRepairEnabled = 0x80;
// SplitButtonMode::Normal: the label runs the default command.
constexpr UINT kActionLabelRuns = 0x100;
// SplitButtonMode::LabelInert: the label does nothing, the arrow still works.
constexpr UINT kActionLabelInert = 0x200;
