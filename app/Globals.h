#pragma once

// The process-wide objects. They are defined together in Globals.cpp, in the order in which they
// must be constructed; they are destroyed in the reverse order after the entry point returns.
class Settings;
class SetupDialog;
class CompletionDispatcher;
class IoThread;
class Application;

extern Settings gSettings;
extern SetupDialog gSetupDialog;
extern CompletionDispatcher gDispatcher;
extern IoThread gIoThread;
extern Application gApplication;
