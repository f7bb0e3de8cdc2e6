#include "app/ProgramInfo.h"

#include "res/version.h"

const wchar_t kProgramCaption[] = L"Brindlecot v" BRINDLECOT_VERSION_TEXT;
const wchar_t kSettingsKeyPath[] = L"software\\brindlecot";
const wchar_t kProductWebPage[] = L"https://brindlecot.org/";
