#include "app/ProgramInfo.h"

const wchar_t kProgramCaption[] = L"Brindlecot v0.1d";
const wchar_t kSettingsKeyPath[] = L"software\\brindlecot";
const wchar_t kProductWebPage[] = L"https://brindlecot.org/";
