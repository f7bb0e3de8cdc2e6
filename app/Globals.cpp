#include "app/Globals.h"

#include "io/CompletionDispatcher.h"
#include "io/IoThread.h"

// Construction follows the order of definition in this file; destruction runs in reverse.
CompletionDispatcher gDispatcher;
IoThread gIoThread;
