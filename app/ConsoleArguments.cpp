#include "app/ConsoleArguments.h"

#include <cwchar>

namespace {

enum class OptionId : int32_t {
    Size,
    Parts,
    Preset,
    Recovery,
    NoChecksums,
    JoinScript,
    DeleteParts,
    Repair,
    To,
};

constexpr uint32_t CommandBit(ConsoleCommand command) {
    return 1u << static_cast<int32_t>(command);
}
constexpr uint32_t kSplitOnly = CommandBit(ConsoleCommand::Split);
constexpr uint32_t kJoinOnly = CommandBit(ConsoleCommand::Join);
constexpr uint32_t kCheckOnly = CommandBit(ConsoleCommand::Check);

bool Same(const wchar_t* a, const wchar_t* b) {
    return std::wcscmp(a, b) == 0;
}

} // namespace

struct ConsoleArguments::Option {
    const wchar_t* name;
    OptionId id;
    bool takesValue;
    uint32_t commands; // CommandBit of each command that takes it
};

const ConsoleArguments::Option ConsoleArguments::kOptions[] = {
    {L"--size", OptionId::Size, true, kSplitOnly},
    {L"--parts", OptionId::Parts, true, kSplitOnly},
    {L"--preset", OptionId::Preset, true, kSplitOnly},
    {L"--recovery", OptionId::Recovery, true, kSplitOnly},
    {L"--no-checksums", OptionId::NoChecksums, false, kSplitOnly},
    {L"--join-script", OptionId::JoinScript, false, kSplitOnly},
    {L"--delete-parts", OptionId::DeleteParts, false, kJoinOnly},
    {L"--repair", OptionId::Repair, false, kCheckOnly},
    {L"--to", OptionId::To, true, kSplitOnly | kJoinOnly},
};

bool ConsoleArguments::ParseNumber(const wchar_t* text, uint64_t low, uint64_t high,
                                   uint64_t& number) {
    if (text == nullptr || *text == 0)
        return false;
    number = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p < L'0' || *p > L'9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(*p - L'0');
        if (number > (UINT64_MAX - digit) / 10)
            return false;
        number = number * 10 + digit;
    }
    return number >= low && number <= high;
}

bool ConsoleArguments::ParseSize(const wchar_t* text, uint64_t& bytes) {
    if (text == nullptr)
        return false;
    const size_t length = std::wcslen(text);
    if (length == 0)
        return false;
    int shift = 0;
    WideString digits;
    digits.Assign(text, static_cast<uint32_t>(length));
    wchar_t* last = digits.Buffer() + length - 1;
    switch (*last) {
    case L'B':
    case L'b':
        break;
    case L'K':
    case L'k':
        shift = 10;
        break;
    case L'M':
    case L'm':
        shift = 20;
        break;
    case L'G':
    case L'g':
        shift = 30;
        break;
    default:
        ++last; // no unit: bytes
        break;
    }
    *last = 0;
    uint64_t number = 0;
    if (!ParseNumber(digits.Text(), 1, UINT64_MAX, number) || number > (UINT64_MAX >> shift))
        return false;
    bytes = number << shift;
    return true;
}

bool ConsoleArguments::Parse(int count, const wchar_t* const* arguments, WideString& error) {
    for (int i = 0; i < count; ++i) {
        if (Same(arguments[i], L"--help") || Same(arguments[i], L"-h") ||
            Same(arguments[i], L"/?")) {
            command = ConsoleCommand::Help;
            return true;
        }
    }
    if (count == 0) {
        error.Format(L"no command given");
        return false;
    }
    if (!TakeCommand(arguments[0], error))
        return false;
    bool optionsEnd = false;
    for (int i = 1; i < count; ++i) {
        const wchar_t* word = arguments[i];
        if (!optionsEnd && Same(word, L"--")) {
            optionsEnd = true;
            continue;
        }
        if (optionsEnd || word[0] != L'-' || word[1] == 0) {
            if (!paths.Append(word)) {
                error.Format(L"out of memory");
                return false;
            }
            continue;
        }
        // "--size=700M" or "--size 700M".
        const wchar_t* equals = std::wcschr(word, L'=');
        const size_t nameLength = equals ? static_cast<size_t>(equals - word) : std::wcslen(word);
        const Option* found = nullptr;
        for (const Option& option : kOptions) {
            if (std::wcslen(option.name) == nameLength &&
                std::wcsncmp(option.name, word, nameLength) == 0)
                found = &option;
        }
        if (!found || (found->commands & CommandBit(command)) == 0) {
            error.Format(L"%s: no such option for %s", word, arguments[0]);
            return false;
        }
        const wchar_t* value = nullptr;
        if (found->takesValue) {
            if (equals)
                value = equals + 1;
            else if (i + 1 < count)
                value = arguments[++i];
            else {
                error.Format(L"%s needs a value", found->name);
                return false;
            }
        } else if (equals) {
            error.Format(L"%s takes no value", found->name);
            return false;
        }
        if (!TakeOption(*found, value, error))
            return false;
    }
    return CheckComplete(error);
}

bool ConsoleArguments::TakeCommand(const wchar_t* word, WideString& error) {
    static constexpr struct {
        const wchar_t* name;
        ConsoleCommand command;
    } kCommands[] = {
        {L"split", ConsoleCommand::Split},     {L"join", ConsoleCommand::Join},
        {L"install", ConsoleCommand::Install}, {L"uninstall", ConsoleCommand::Uninstall},
        {L"check", ConsoleCommand::Check},     {L"--version", ConsoleCommand::Version},
    };
    for (const auto& known : kCommands) {
        if (Same(word, known.name)) {
            command = known.command;
            return true;
        }
    }
    error.Format(L"%s: no such command", word);
    return false;
}

bool ConsoleArguments::TakeOption(const Option& option, const wchar_t* value, WideString& error) {
    uint64_t number = 0;
    switch (option.id) {
    case OptionId::Size:
        if (!ParseSize(value, partSize)) {
            error.Format(L"--size %s: not a size (a whole number of bytes, or with K, M or G)",
                         value);
            return false;
        }
        ++sizeOptions;
        return true;
    case OptionId::Parts:
        if (!ParseNumber(value, 1, UINT32_MAX, number)) {
            error.Format(L"--parts %s: not a number of parts from 1 to %u", value, UINT32_MAX);
            return false;
        }
        partCount = static_cast<uint32_t>(number);
        ++sizeOptions;
        return true;
    case OptionId::Preset:
        if (const MediaSize* media = FindMediaSize(value)) {
            partSize = MediaSizeBytes(*media);
            ++sizeOptions;
            return true;
        }
        error.Format(L"--preset %s: no such preset", value);
        return false;
    case OptionId::Recovery:
        if (!ParseNumber(value, 0, 100, number)) {
            error.Format(L"--recovery %s: not a percentage from 0 to 100", value);
            return false;
        }
        choices.recoveryPercent = static_cast<uint32_t>(number);
        return true;
    case OptionId::NoChecksums:
        choices.writeChecksums = false;
        return true;
    case OptionId::JoinScript:
        choices.writeJoinScript = true;
        return true;
    case OptionId::DeleteParts:
        choices.deleteParts = true;
        return true;
    case OptionId::Repair:
        repair = true;
        return true;
    case OptionId::To:
        if (*value == 0) {
            error.Format(L"--to needs a folder");
            return false;
        }
        outputFolder = value;
        return true;
    }
    return false;
}

bool ConsoleArguments::CheckComplete(WideString& error) const {
    const bool takesPaths = command == ConsoleCommand::Split || command == ConsoleCommand::Join ||
                            command == ConsoleCommand::Check;
    if (takesPaths && paths.Count() == 0) {
        error.Format(L"no file named");
        return false;
    }
    if (!takesPaths && paths.Count() != 0) {
        error.Format(L"%s: not expected here", paths[0]);
        return false;
    }
    if (command == ConsoleCommand::Split && sizeOptions != 1) {
        error.Format(sizeOptions == 0 ? L"split needs --size, --parts or --preset"
                                      : L"split takes one of --size, --parts and --preset");
        return false;
    }
    return true;
}
