#include "ops/OperationOutcome.h"

OperationOutcome ClassifyFailure(DWORD code, bool underWay) {
    switch (code) {
    // A check failed: a checksum, or the recovery set that could not make up for it.
    case ERROR_CRC:
    case ERROR_INVALID_DATA:
        return OperationOutcome::Damaged;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return OperationOutcome::Incomplete;
    // Before the work, a part cut short, or one that grew in transfer; once data moves, a file
    // that changed under the work.
    case ERROR_HANDLE_EOF:
        return underWay ? OperationOutcome::IoError : OperationOutcome::Incomplete;
    case ERROR_FILE_INVALID:
        return underWay ? OperationOutcome::IoError : OperationOutcome::Damaged;
    // Another file has the output's name: it is never replaced, whenever it shows up.
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return OperationOutcome::Refused;
    case ERROR_CANCELLED:
    case ERROR_OPERATION_ABORTED:
        return OperationOutcome::Cancelled;
    default:
        return underWay ? OperationOutcome::IoError : OperationOutcome::Refused;
    }
}
