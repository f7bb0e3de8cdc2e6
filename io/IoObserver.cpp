#include "io/IoObserver.h"

IoObserver* gIoObserver = nullptr;
