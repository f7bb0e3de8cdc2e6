#pragma once

#include <cstdint>

// What the user chose for an operation beside its file and part size: the window takes it from
// the stored settings, the console program from its command line.
struct OperationChoices {
    // A split leaves a SHA-256 list beside its parts.
    bool writeChecksums = true;
    // A split leaves a join script and its instructions for receivers.
    bool writeJoinScript = false;
    // The share of the file that a split adds as recovery data, in percent; 0 for none.
    uint32_t recoveryPercent = 0;
    // A join that checked its parts deletes them.
    bool deleteParts = false;
    // A join opens the file it made with the shell.
    bool openFile = false;
    // A split selects its files in Explorer.
    bool selectFiles = false;
};
