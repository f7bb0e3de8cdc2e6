#include "app/ConsoleProgram.h"

#include "app/ProgramInfo.h"
#include "ops/CheckOperation.h"
#include "ops/Commands.h"
#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "ui/ShellIntegration.h"

#include <memory>
#include <new>

namespace {

constexpr wchar_t kUsage[] =
    L"Usage:\n"
    L"  brindlecot-cli split FILE... (--size N[B|K|M|G] | --parts N | --preset NAME)\n"
    L"                       [--recovery PCT] [--no-checksums] [--join-script] [--to DIR]\n"
    L"  brindlecot-cli join PART... [--delete-parts] [--to DIR]\n"
    L"  brindlecot-cli check PART... [--repair]\n"
    L"  brindlecot-cli install | uninstall | --help | --version\n";

constexpr wchar_t kHelp[] =
    L"\n"
    L"split cuts each FILE into FILE.001, FILE.002, ... beside it, with a SHA-256 list\n"
    L"FILE.sha256 unless --no-checksums is given.\n"
    L"  --size N       parts of N bytes; K, M and G count 1024, 1024^2 and 1024^3 bytes\n"
    L"  --parts N      N parts of equal size, the last one smaller\n"
    L"  --preset NAME  parts for a medium; letter case and blanks do not matter\n"
    L"                 (\"dvd 4.37 gb\", \"DVD4.37GB\"):\n";

constexpr wchar_t kHelpRest[] =
    L"  --recovery PCT PAR2 recovery data of PCT percent of the file (0 to 100)\n"
    L"  --join-script  FILE.join.cmd and FILE.join.txt for receivers without Brindlecot\n"
    L"  --to DIR       the parts and their side files go to the folder DIR instead\n"
    L"join makes the file back from its parts, given one of them (FILE.001).\n"
    L"  --delete-parts deletes the parts once the joined file is checked and on the disk\n"
    L"  --to DIR       the joined file goes to the folder DIR, not beside the parts\n"
    L"check reads the parts of each set there are and tells part by part whether they are\n"
    L"good, against FILE.sha256, the .sfv, .md5, .sha1 and .crc files of other tools and the\n"
    L"recovery data FILE.par2; it writes nothing. A part missing or damaged gives 2 or 3,\n"
    L"whether or not the recovery data could rebuild it (the text says which).\n"
    L"  --repair       rebuilds what the recovery data can where it lies, then checks again:\n"
    L"                 0 once the set is whole\n"
    L"install and uninstall add or remove the Explorer verbs Split and Join, which start\n"
    L"brindlecot.exe beside this program.\n"
    L"\n"
    L"The files are worked one after another; Ctrl+C cancels and removes what the current\n"
    L"one made. The progress goes to standard error, each result to standard output.\n"
    L"\n"
    L"Exit codes, shared with brindlecot.exe; of several files the largest code is given:\n"
    L"  0  done (a repair that succeeded included)\n"
    L"  1  bad command line\n"
    L"  2  a part or the set is missing or incomplete\n"
    L"  3  damaged data that could not be repaired\n"
    L"  4  refused before any work (output exists, no room, too large, stale set)\n"
    L"  5  an I/O error during the work\n"
    L"  6  cancelled\n";

} // namespace

ConsoleProgram::ConsoleProgram()
    : out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE), display(out, err) {}

int ConsoleProgram::Run(int count, const wchar_t* const* arguments) {
    ConsoleArguments parsed;
    WideString error;
    if (!parsed.Parse(count, arguments, error)) {
        err.Print(L"brindlecot-cli: %s\n", error.Text());
        PrintUsage(err);
        return ExitCodeOf(OperationOutcome::BadCommandLine);
    }
    switch (parsed.Command()) {
    case ConsoleCommand::Help:
        PrintUsage(out);
        out.Write(kHelp);
        for (const MediaSize& media : kMediaSizes)
            out.Print(L"                   %s\n", media.name);
        out.Write(kHelpRest);
        return 0;
    case ConsoleCommand::Version:
        out.Print(L"%s\n", kProgramCaption);
        return 0;
    case ConsoleCommand::Install:
    case ConsoleCommand::Uninstall:
        return ExitCodeOf(RunSetup(parsed.Command() == ConsoleCommand::Install));
    case ConsoleCommand::Split:
    case ConsoleCommand::Join:
    case ConsoleCommand::Check:
        break;
    }
    return ExitCodeOf(RunWork(parsed));
}

OperationOutcome ConsoleProgram::RunToEnd(const Operation& operation) {
    MSG message{};
    while (!display.Ended() && !display.CancelAsked() &&
           ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return display.CancelAsked() && !display.Ended() ? OperationOutcome::Cancelled
                                                     : operation.Outcome();
}

void ConsoleProgram::PrintUsage(ConsoleStream& stream) const {
    stream.Write(kUsage);
}

OperationOutcome ConsoleProgram::RunSetup(bool install) {
    if (install ? ShellIntegration::Install() : ShellIntegration::Uninstall()) {
        out.Print(install ? L"Explorer's Split and Join verbs are installed.\n"
                          : L"Explorer's Split and Join verbs are removed.\n");
        return OperationOutcome::Done;
    }
    return Fail(install ? L"install" : L"uninstall");
}

OperationOutcome ConsoleProgram::Fail(const wchar_t* what) {
    WideString text;
    text.Format(L"brindlecot-cli: %s failed", what);
    Operation::AppendErrorText(text, ::GetLastError());
    err.Print(L"%s\n", text.Text());
    return OperationOutcome::Refused;
}

OperationOutcome ConsoleProgram::RunWork(const ConsoleArguments& arguments) {
    display.SetWork(arguments.PartSize(), arguments.PartCount(), arguments.Choices());
    if (!display.Create() || !display.CatchCtrlC())
        return Fail(L"start");
    // Completions are delivered to this thread: the one that runs the operations.
    if (!engine.Start()) {
        const OperationOutcome failed = Fail(L"start");
        engine.Stop();
        return failed;
    }
    WideString outputFolder;
    outputFolder.Assign(arguments.OutputFolder(),
                        static_cast<uint32_t>(::lstrlenW(arguments.OutputFolder())));
    OperationOutcome worst = OperationOutcome::Done;
    for (const wchar_t* path : arguments.Paths()) {
        if (display.CancelAsked()) {
            worst = OperationOutcome::Cancelled;
            break;
        }
        worst = WorseOf(worst, RunOne(path, arguments, outputFolder));
    }
    engine.Stop();
    return worst;
}

OperationOutcome ConsoleProgram::RunOne(const wchar_t* path, const ConsoleArguments& arguments,
                                        const WideString& outputFolder) {
    std::unique_ptr<Operation> operation;
    CheckOperation* check = nullptr;
    if (arguments.Command() == ConsoleCommand::Split)
        operation.reset(new (std::nothrow) SplitOperation(display));
    else if (arguments.Command() == ConsoleCommand::Join)
        operation.reset(new (std::nothrow) JoinOperation(display));
    else
        operation.reset(check = new (std::nothrow) CheckOperation(display));
    if (!operation) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return Fail(path);
    }
    operation->SetOutputFolder(outputFolder);
    display.Follow(*operation);
    WideString given;
    given.Assign(path, static_cast<uint32_t>(::lstrlenW(path)));
    operation->Start(given);
    // A split waits for its Split command, which the window's user gives.
    if (operation->State() == OperationState::Waiting)
        operation->OnCommand(kCommandSplit);
    OperationOutcome outcome;
    if (operation->State() == OperationState::Waiting) {
        // Nothing to cut: an empty file, or one too small for the parts asked for.
        if (operation->TotalSize() == 0)
            display.SetStatusBarFormat(L"%s is empty.", operation->Name().Text());
        display.SetStatus(L"Error occurred !");
        outcome = OperationOutcome::Refused;
    } else {
        outcome = RunToEnd(*operation);
        // The check's verdict first, then the repair and the check that follows it.
        if (check && arguments.Repair() && check->RepairReady() && !display.CancelAsked()) {
            display.PrintResult(outcome);
            display.Follow(*operation);
            check->OnCommand(kCommandRepair);
            outcome = RunToEnd(*operation);
        }
    }
    // As when the window closes: what is still in flight is let go, an unfinished output removed.
    operation->Abort();
    display.PrintResult(outcome);
    return outcome;
}
