#pragma once

#include "ops/OperationChoices.h"

// The choices the window's options dialog stores, read from the user's settings now.
OperationChoices ReadStoredChoices();
