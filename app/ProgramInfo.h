#pragma once

// Fixed texts and names that several parts of the program share.
extern const wchar_t kProgramCaption[];  // "Brindlecot v0.1d"
extern const wchar_t kSettingsKeyPath[]; // under HKEY_CURRENT_USER
extern const wchar_t kProductWebPage[];
