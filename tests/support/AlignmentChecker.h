#pragma once

#include "io/IoObserver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

namespace testing_support {

// Windows refuses an unbuffered read or write whose position, length or buffer address is not
// a multiple of the sector size; Wine lets them through. While one of these exists, every such
// misaligned transfer issued through AsyncFile is reported as a test failure.
class AlignmentChecker final : public IoObserver {
public:
    AlignmentChecker();
    ~AlignmentChecker();
    AlignmentChecker(const AlignmentChecker&) = delete;
    AlignmentChecker& operator=(const AlignmentChecker&) = delete;

    // Transfers on unbuffered handles that were checked, and all transfers seen.
    int CheckedCount() const { return checked; }
    int TransferCount() const { return transfers; }
    int UnbufferedOpenCount() const { return unbufferedOpens; }

    void OnOpen(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags,
                HANDLE handle) override;
    void OnClose(HANDLE handle) override;
    void OnTransfer(HANDLE handle, uint64_t position, const void* buffer, uint32_t length,
                    bool write) override;

private:
    struct Unbuffered {
        std::wstring name;
        uint32_t sectorSize;
    };

    IoObserver* previous;
    std::map<HANDLE, Unbuffered> unbuffered;
    int checked = 0;
    int transfers = 0;
    int unbufferedOpens = 0;
};

// Keeps a checker installed for a whole test program:
//   ::testing::AddGlobalTestEnvironment(new AlignmentCheckEnvironment);
class AlignmentCheckEnvironment : public ::testing::Environment {
public:
    void SetUp() override { checker = new AlignmentChecker; }
    void TearDown() override {
        delete checker;
        checker = nullptr;
    }
    const AlignmentChecker* Checker() const { return checker; }

private:
    AlignmentChecker* checker = nullptr;
};

// Bytes per sector of the drive that holds the path; 0 when it can't be asked.
uint32_t SectorSizeOf(const std::wstring& path);

} // namespace testing_support
