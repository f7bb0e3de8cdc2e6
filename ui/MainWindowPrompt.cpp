#include "ui/MainWindow.h"

#include "io/CompletionDispatcher.h"
#include "ui/MissingPartPrompt.h"

PartAnswer MainWindow::AskForPart(const wchar_t* partName, WideString& folder) {
    // The join has nothing in flight; whatever else would complete meanwhile waits for the
    // answer, as it does under the window's other questions.
    CompletionDispatcher::DeliveryHold hold;
    return MissingPartPrompt::Ask(Handle(), partName, folder);
}
