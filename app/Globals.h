#pragma once

#include <memory>

// The process-wide objects. They are defined together in Globals.cpp, in the order in which they
// must be constructed; they are destroyed in the reverse order after the entry point returns.
class Settings;
class SetupDialog;
class CompletionDispatcher;
class IoThread;
class ComputePool;
class Application;
class Operation;
class MainWindow;

extern Settings gSettings;
extern SetupDialog gSetupDialog;
extern CompletionDispatcher gDispatcher;
extern IoThread gIoThread;
// The workers that hash and compute for the operation, destroyed after it: it waits for them.
extern ComputePool gComputePool;
extern Application gApplication;
// The current split or join: made at start-up, destroyed at process end; empty until then.
extern std::unique_ptr<Operation> gOperation;
extern MainWindow gMainWindow;
