// Times how long a new file name costs in a folder: creates COUNT new files (CREATE_NEW, then
// CloseHandle), opens each again (OPEN_EXISTING, then CloseHandle), deletes them, and prints the
// microseconds per create and per open. Run it on folders that already hold few and many files to
// see whether the cost of a new name grows with the folder.
//
//   bench_create_new.exe FOLDER COUNT
//
// The new names are "new.000001", "new.000002", ...; none of them may be in FOLDER yet.

#include "BenchClock.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring NewName(const std::wstring& folder, unsigned number) {
    wchar_t name[32];
    swprintf(name, 32, L"\\new.%06u", number);
    return folder + name;
}

// Opens and closes every name with the disposition; the seconds it took, or a negative number
// when a name failed.
double TimeOpens(const std::wstring& folder, unsigned count, DWORD access, DWORD disposition) {
    const double start = bench::Now();
    for (unsigned i = 1; i <= count; ++i) {
        const std::wstring path = NewName(folder, i);
        HANDLE file = ::CreateFileW(path.c_str(), access, 0, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            fwprintf(stderr, L"%ls: error %lu\n", path.c_str(), ::GetLastError());
            return -1;
        }
        ::CloseHandle(file);
    }
    return bench::Now() - start;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fwprintf(stderr, L"usage: bench_create_new FOLDER COUNT\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    const unsigned count = wcstoul(argv[2], nullptr, 10);
    if (count == 0) {
        fwprintf(stderr, L"COUNT must be at least 1\n");
        return 2;
    }

    const double created = TimeOpens(folder, count, GENERIC_WRITE, CREATE_NEW);
    const double opened = created < 0 ? -1 : TimeOpens(folder, count, GENERIC_READ, OPEN_EXISTING);
    for (unsigned i = 1; i <= count; ++i)
        ::DeleteFileW(NewName(folder, i).c_str());
    if (opened < 0)
        return 1;
    wprintf(L"create new %.0f us, open existing %.0f us per file (%u files)\n",
            created * 1e6 / count, opened * 1e6 / count, count);
    return 0;
}
