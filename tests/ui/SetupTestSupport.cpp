#include "ui/SetupTestSupport.h"

namespace shell_test {

std::wstring ModulePath() {
    std::vector<wchar_t> path(32768);
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), n);
}

std::wstring OurCommand(bool split) {
    return L"\"" + ModulePath() + (split ? L"\" /s \"%1\"" : L"\" /j \"%1\"");
}

std::wstring CheckCommand() {
    return L"\"" + ModulePath() + L"\" /c \"%1\"";
}

void RemoveTestEntries() {
    for (HKEY hive : {kUser, kMachine}) {
        DeleteTree(L".001", hive);
        for (const wchar_t* type : kSideFileTypes)
            DeleteTree((std::wstring(L"SystemFileAssociations\\") + type).c_str(), hive);
        DeleteTree(L"*\\Shell\\split", hive);
        DeleteTree(L"*\\Shell\\inspect", hive);
    }
}

} // namespace shell_test
