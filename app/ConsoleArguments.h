#pragma once

#include "app/DynArray.h"
#include "app/MediaSizes.h"
#include "app/WideString.h"
#include "ops/OperationChoices.h"

#include <cstdint>

// What the console program was asked to do.
enum class ConsoleCommand : int32_t {
    Split,
    Join,
    Install,
    Uninstall,
    Help,
    Version,
    Check,
};

// The console program's command line, read. The paths point into the argument strings given to
// Parse, which must outlive this.
class ConsoleArguments {
public:
    // Reads the arguments after the program's name. False, with the reason in error, when they
    // name no work or name it wrongly; "--help" anywhere asks for the help alone.
    bool Parse(int count, const wchar_t* const* arguments, WideString& error);

    ConsoleCommand Command() const { return command; }
    // The files to split, or one part of each set to join, in the order given.
    const DynArray<const wchar_t*>& Paths() const { return paths; }
    // Exactly one of the three is set for a split: the size (also a preset's), or the count.
    uint64_t PartSize() const { return partSize; }
    uint32_t PartCount() const { return partCount; }
    const OperationChoices& Choices() const { return choices; }
    // A check rebuilds what the recovery data can, where it lies.
    bool Repair() const { return repair; }
    // The folder "--to" names, where the parts or the joined files go; empty for beside each
    // file.
    const wchar_t* OutputFolder() const { return outputFolder; }

    // Bytes of "700M", "4G", "512K", "1000B" or "1000", the unit's letter of either case;
    // false when that is no size or when it passes 64 bits.
    static bool ParseSize(const wchar_t* text, uint64_t& bytes);
    // A whole number within [low, high].
    static bool ParseNumber(const wchar_t* text, uint64_t low, uint64_t high, uint64_t& number);

private:
    struct Option;
    static const Option kOptions[];
    bool TakeCommand(const wchar_t* word, WideString& error);
    bool TakeOption(const Option& option, const wchar_t* value, WideString& error);
    bool CheckComplete(WideString& error) const;

    ConsoleCommand command = ConsoleCommand::Help;
    DynArray<const wchar_t*> paths;
    uint64_t partSize = 0;
    uint32_t partCount = 0;
    // The part-size options given: only one may be.
    int32_t sizeOptions = 0;
    OperationChoices choices;
    bool repair = false;
    const wchar_t* outputFolder = L"";
};
