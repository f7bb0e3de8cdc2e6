#pragma once

#include "app/WideString.h"
#include "toolkit/RegKey.h"

#include <cstdint>

// The user's choices, the transfer tuning and the main window's place, in
// HKEY_CURRENT_USER\software\brindlecot. Nothing is cached: every accessor reads or writes the
// registry when it is called.
class Settings : public RegKey {
public:
    static constexpr uint32_t kDefaultBufferSize = 1048576;
    static constexpr uint32_t kMinBufferSize = 131072;
    static constexpr uint32_t kMaxBufferSize = 16777216;
    static constexpr int32_t kMaxIoPairCount = 16;

    bool Open();
    bool Close();

    uint32_t ReadSelectFiles();
    uint32_t ReadOpenFile();
    uint32_t ReadDeleteFiles();
    uint32_t ReadFlashWindow();
    uint32_t ReadCloseWindow();
    // On unless set to 0: a split leaves a SHA-256 list beside its parts.
    uint32_t ReadWriteChecksums();
    // Off unless set: a split leaves a join script and its instructions for receivers.
    uint32_t ReadWriteJoinScript();
    // The share of the file that a split adds as recovery data, in percent; 0 (none) when missing.
    uint32_t ReadRecoveryPercent();
    bool WriteSelectFiles(uint32_t value);
    bool WriteOpenFile(uint32_t value);
    bool WriteDeleteFiles(uint32_t value);
    bool WriteFlashWindow(uint32_t value);
    bool WriteCloseWindow(uint32_t value);
    bool WriteWriteChecksums(uint32_t value);
    bool WriteWriteJoinScript(uint32_t value);
    bool WriteRecoveryPercent(uint32_t percent);

    uint32_t ReadBufferSize();
    int32_t ReadIoPairCount();
    uint64_t ReadPartSize();
    bool WritePartSize(uint64_t value);
    // The number of parts chosen instead of a size ("4 parts"); 0 when a size was chosen.
    uint32_t ReadPartCount();
    bool WritePartCount(uint32_t count);

    // The folder last chosen for a split's parts or a join's output, offered the next time; false
    // when none is stored (or it is no text of a path's length).
    bool ReadLastFolder(WideString& folder);
    bool WriteLastFolder(const wchar_t* folder);

    // The main window's placement, the system's 44-byte record; false when no record of that size
    // is stored.
    bool ReadWindowPlacement(WINDOWPLACEMENT& placement);
    bool WriteWindowPlacement(const WINDOWPLACEMENT& placement);
};
