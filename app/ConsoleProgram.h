#pragma once

#include "app/ConsoleArguments.h"
#include "app/ConsoleDisplay.h"
#include "app/ConsoleStream.h"
#include "app/EngineThreads.h"
#include "ops/OperationOutcome.h"

// brindlecot-cli.exe: the window program's splits and joins, run one after another from a
// command line, without a window and without the user's stored settings.
class ConsoleProgram {
public:
    ConsoleProgram();
    ConsoleProgram(const ConsoleProgram&) = delete;
    ConsoleProgram& operator=(const ConsoleProgram&) = delete;

    // Runs the command line's arguments after the program's name; gives the exit code.
    int Run(int count, const wchar_t* const* arguments);

private:
    void PrintUsage(ConsoleStream& stream) const;
    OperationOutcome RunSetup(bool install);
    // Every file in turn; the worst outcome (the largest code) tells.
    OperationOutcome RunWork(const ConsoleArguments& arguments);
    OperationOutcome RunOne(const wchar_t* path, const ConsoleArguments& arguments,
                            const WideString& outputFolder);
    // Runs the messages until the operation has ended, or Ctrl+C; gives its outcome.
    OperationOutcome RunToEnd(const Operation& operation);
    // Reports a failure of the program itself, before any file was touched.
    OperationOutcome Fail(const wchar_t* what);

    ConsoleStream out;
    ConsoleStream err;
    ConsoleDisplay display;
    EngineThreads engine;
};
