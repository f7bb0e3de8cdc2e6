#include "app/StoredChoices.h"

#include "app/Globals.h"
#include "app/Settings.h"

OperationChoices ReadStoredChoices() {
    OperationChoices choices;
    choices.writeChecksums = gSettings.ReadWriteChecksums() != 0;
    choices.writeJoinScript = gSettings.ReadWriteJoinScript() != 0;
    choices.recoveryPercent = gSettings.ReadRecoveryPercent();
    choices.deleteParts = gSettings.ReadDeleteFiles() != 0;
    choices.openFile = gSettings.ReadOpenFile() != 0;
    choices.selectFiles = gSettings.ReadSelectFiles() != 0;
    return choices;
}
