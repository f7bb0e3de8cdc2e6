#include "ops/JoinScriptText.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Part numbers checked per line of the script.
constexpr uint32_t kNumbersPerLine = 100;
// Characters that the part names of one copy line may take once the name is expanded: the
// line stays well under cmd's 8,191.
constexpr uint32_t kCopyLineBudget = 2000;
// Up to this many parts, the instructions spell out the copy command.
constexpr uint32_t kSpelledOutParts = 10;

// UTF-8 text built line by line. The first failure sticks, and is told at the end.
class TextBuilder {
public:
    explicit TextBuilder(DynArray<char>& into) : text(into) { text.Clear(); }

    void Add(const char* bytes, size_t length) {
        if (!ok)
            return;
        const int32_t at = text.Count();
        const int32_t needed = at + static_cast<int32_t>(length);
        if (!text.ResizeUp(needed)) {
            ok = false;
            return;
        }
        memcpy(text.Items() + at, bytes, length);
    }
    void Add(const char* ascii) { Add(ascii, strlen(ascii)); }
    void Add(char c) { Add(&c, 1); }
    void Add(const wchar_t* wide, int length) {
        char bytes[1024];
        while (ok && length > 0) {
            // Whole surrogate pairs per piece.
            int piece = std::min(length, 256);
            if (piece < length && IS_HIGH_SURROGATE(wide[piece - 1]))
                --piece;
            const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, piece, bytes, sizeof bytes,
                                                nullptr, nullptr);
            if (n <= 0) {
                ok = false;
                error = ::GetLastError();
                return;
            }
            Add(bytes, static_cast<size_t>(n));
            wide += piece;
            length -= piece;
        }
    }
    void Add(const wchar_t* wide) { Add(wide, static_cast<int>(wcslen(wide))); }
    void AddNumber(uint64_t number, int width = 0) {
        char digits[24];
        Add(digits, static_cast<size_t>(snprintf(digits, sizeof digits, "%0*llu", width,
                                                 static_cast<unsigned long long>(number))));
    }
    void AddPartNumber(uint32_t number) { AddNumber(number, 3); }
    void AddHex(const Sha256Digest& digest) {
        char hex[65];
        Sha256Hex(digest, hex);
        Add(hex, 64);
    }
    void EndLine() { Add("\r\n", 2); }
    void Line(const char* ascii) {
        Add(ascii);
        EndLine();
    }

    // Characters doubled, or wrapped, so that each shell takes the name as it is.
    void AddForBatch(const wchar_t* name) {
        for (; *name; ++name) {
            if (*name == L'%')
                Add('%');
            Add(name, 1);
        }
    }
    void AddForPosixShell(const wchar_t* name, const char* suffix = "") {
        Add('\'');
        for (; *name; ++name) {
            if (*name == L'\'')
                Add("'\\''");
            else
                Add(name, IS_HIGH_SURROGATE(name[0]) && name[1] ? 2 : 1);
            if (IS_HIGH_SURROGATE(name[0]) && name[1])
                ++name;
        }
        Add(suffix);
        Add('\'');
    }
    void AddForPowerShell(const wchar_t* name) {
        Add('\'');
        for (; *name; ++name) {
            // PowerShell takes the typographic single quotes for ' too.
            if (*name == L'\'' || (*name >= 0x2018 && *name <= 0x201B))
                Add(name, 1);
            Add(name, IS_HIGH_SURROGATE(name[0]) && name[1] ? 2 : 1);
            if (IS_HIGH_SURROGATE(name[0]) && name[1])
                ++name;
        }
        Add('\'');
    }

    bool Finish() {
        if (ok)
            return true;
        ::SetLastError(error);
        return false;
    }

private:
    DynArray<char>& text;
    bool ok = true;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
};

bool IsAscii(const wchar_t* name) {
    for (; *name; ++name)
        if (*name >= 0x80)
            return false;
    return true;
}

void AddScriptHashCheck(TextBuilder& out, const Sha256Digest& whole) {
    // With delayed expansion off, a ! in the TEMP path (a user's name can hold one) stays as it
    // is, and so does the name in its quotes; .\ so that certutil takes no name for an option.
    out.Line("setlocal DisableDelayedExpansion");
    out.Line("set \"hashes=%TEMP%\\brindlecot-%RANDOM%.txt\"");
    out.Line("set \"got=\"");
    out.Line("certutil -hashfile \".\\%name%\" SHA256 >\"%hashes%\" 2>nul");
    out.Line("if not errorlevel 1 for /f \"usebackq skip=1 delims=\" %%h in (\"%hashes%\") do "
             "if not defined got set \"got=%%h\"");
    out.Line("del \"%hashes%\" >nul 2>&1");
    out.Line("endlocal & set \"got=%got%\"");
    out.Line("if not defined got goto nocheck");
    // Older versions of certutil print the digest in pairs of digits.
    out.Line("set \"got=!got: =!\"");
    out.Add("if /i not \"!got!\"==\"");
    out.AddHex(whole);
    out.Line("\" goto differs");
    out.Line("echo \"!name!\" is joined, and its SHA-256 checksum matches the list: the file is "
             "whole.");
    out.Line("goto end");
    out.Line(":differs");
    out.Line("echo \"!name!\" does NOT match the SHA-256 checksum in the list: a part was damaged "
             "on the way. Get the parts again before you use it.");
    out.Line("set \"failed=2\"");
    out.Line("goto end");
    out.Line(":nocheck");
    out.Line("echo \"!name!\" is joined, but certutil could not compute its SHA-256 checksum, so "
             "it was not checked.");
    out.Line("set \"failed=3\"");
    out.Line("goto end");
}

} // namespace

bool BuildJoinScript(const wchar_t* wholeName, uint32_t partCount, const Sha256Digest* whole,
                     DynArray<char>& text) {
    TextBuilder out(text);
    out.Line("@echo off");
    out.Line("rem Joins the parts that Brindlecot cut, with copy /b, into the whole file beside "
             "them.");
    // cmd reads the lines after chcp in the new code page, and the code page stays with the
    // console window: it is put back at the end.
    out.Line("set \"oldcp=\"");
    out.Line("for /f \"tokens=2 delims=:.\" %%c in ('chcp') do set \"oldcp=%%c\"");
    out.Line("chcp 65001 >nul 2>&1");
    out.Line("setlocal DisableDelayedExpansion");
    // pushd gives a network folder a drive letter, where cd fails.
    out.Line("pushd \"%~dp0\"");
    if (IsAscii(wholeName)) {
        out.Add("set \"name=");
        out.AddForBatch(wholeName);
        out.Line("\"");
    } else {
        // Not every cmd reads UTF-8 from a script; the script's own name reaches it whole.
        out.Line("rem The whole file's name is this script's own name without \".join.cmd\".");
        out.Line("for %%f in (\"%~n0\") do set \"name=%%~nf\"");
    }
    // Expanded with ! after the line is read, a name with & ^ or % is taken as it is.
    out.Line("setlocal EnableDelayedExpansion");
    out.Line("set \"failed=0\"");
    out.Line("if exist \"!name!\" goto exists");
    out.Line("set \"missing=\"");
    for (uint32_t first = 1; first <= partCount; first += kNumbersPerLine) {
        out.Add("for %%n in (");
        const uint32_t last = std::min(partCount, first + kNumbersPerLine - 1);
        for (uint32_t n = first; n <= last; ++n) {
            if (n != first)
                out.Add(' ');
            out.AddPartNumber(n);
        }
        out.Line(") do if not exist \"!name!.%%n\" if not defined missing set \"missing=%%n\"");
    }
    out.Line("if defined missing goto missing");
    out.Add("echo Joining ");
    out.AddNumber(partCount);
    out.Line(" parts into \"!name!\"...");
    const uint32_t perPart = static_cast<uint32_t>(wcslen(wholeName)) + 20;
    const uint32_t perLine = std::max(1u, kCopyLineBudget / perPart);
    for (uint32_t first = 1; first <= partCount; first += perLine) {
        out.Add("copy /y /b ");
        if (first != 1)
            out.Add("\"!name!\" + ");
        const uint32_t last = std::min(partCount, first + perLine - 1);
        for (uint32_t n = first; n <= last; ++n) {
            out.Add(n != first ? " + \"!name!." : "\"!name!.");
            out.AddPartNumber(n);
            out.Add('"');
        }
        out.Line(" \"!name!\" >nul");
        out.Line("if errorlevel 1 goto copyfailed");
    }
    if (whole) {
        AddScriptHashCheck(out, *whole);
    } else {
        out.Line("echo \"!name!\" is joined. There was no checksum list to check it against.");
        out.Line("goto end");
    }
    out.Line(":exists");
    out.Line("echo \"!name!\" exists already. Move it away, then run this script again.");
    out.Line("set \"failed=1\"");
    out.Line("goto end");
    out.Line(":missing");
    out.Add("echo Part \"!name!.!missing!\" is missing: put all ");
    out.AddNumber(partCount);
    out.Line(" parts beside this script, then run it again.");
    out.Line("set \"failed=1\"");
    out.Line("goto end");
    out.Line(":copyfailed");
    out.Line("del \"!name!\" >nul 2>&1");
    out.Line("echo Joining failed: see the message above. Nothing was kept.");
    out.Line("set \"failed=1\"");
    out.Line(":end");
    out.Line("popd");
    out.Line("if defined oldcp chcp !oldcp! >nul 2>&1");
    out.Line("echo.");
    out.Line("pause");
    out.Line("exit /b !failed!");
    return out.Finish();
}

bool BuildJoinInstructions(const wchar_t* wholeName, uint32_t partCount, const Sha256Digest* whole,
                           DynArray<char>& text) {
    TextBuilder out(text);
    // A byte-order mark, so that every Notepad reads the names right.
    out.Add("\xEF\xBB\xBF");
    out.Add("How to join \"");
    out.Add(wholeName);
    out.Line("\"");
    out.EndLine();
    out.Add(wholeName);
    out.Add(" was cut into ");
    out.AddNumber(partCount);
    out.Add(" parts by Brindlecot: ");
    out.Add(wholeName);
    out.Add(".001 to ");
    out.Add(wholeName);
    out.Add('.');
    out.AddPartNumber(partCount);
    out.Line(".");
    out.Line("Put all the parts in one folder, with their names as they are, and join them there:");
    out.EndLine();
    out.Line("On Windows");
    out.Add("  Double-click ");
    out.Add(wholeName);
    out.Add(".join.cmd. Or, ");
    if (partCount <= kSpelledOutParts) {
        out.Line("in a command prompt in that folder, type:");
        out.Add("    copy /b");
        for (uint32_t n = 1; n <= partCount; ++n) {
            out.Add(n != 1 ? " + \"" : " \"");
            out.Add(wholeName);
            out.Add('.');
            out.AddPartNumber(n);
            out.Add('"');
        }
        out.Add(" \"");
        out.Add(wholeName);
        out.Line("\"");
    } else {
        out.Line("in PowerShell in that folder, type on one line:");
        out.Add("    $out = [IO.File]::Create((Join-Path $PWD ");
        out.AddForPowerShell(wholeName);
        out.Add(")); foreach ($i in 1..");
        out.AddNumber(partCount);
        out.Add(") { $in = [IO.File]::OpenRead((Join-Path $PWD (");
        out.AddForPowerShell(wholeName);
        out.Line(" + '.' + $i.ToString('000')))); $in.CopyTo($out); $in.Close() }; $out.Close()");
    }
    out.EndLine();
    out.Line("On Linux or macOS");
    out.Line("  In a terminal in that folder, type:");
    // In a subshell, so that a missing part ends the loop, not the terminal; -- so that no name
    // is taken for an option.
    out.Add("    (for i in $(seq -f %03.0f 1 ");
    out.AddNumber(partCount);
    out.Add("); do cat -- ");
    out.AddForPosixShell(wholeName);
    out.Add(".\"$i\" || exit 1; done) > ");
    out.AddForPosixShell(wholeName);
    out.Add(" || { rm -f -- ");
    out.AddForPosixShell(wholeName);
    out.Line("; false; }");
    out.Line("  (Not cat with a * : past part 999 it would put .1000 before .101.)");
    out.EndLine();
    out.Line("Checking the result");
    if (whole) {
        out.Add("  The SHA-256 checksum of ");
        out.Add(wholeName);
        out.Line(" is:");
        out.Add("    ");
        out.AddHex(*whole);
        out.EndLine();
        out.Add("  The script checks it by itself. On Linux: sha256sum -c -- ");
        out.AddForPosixShell(wholeName, ".sha256");
        out.EndLine();
        out.Add("  On macOS: shasum -a 256 -c -- ");
        out.AddForPosixShell(wholeName, ".sha256");
        out.EndLine();
        out.Add("  In PowerShell: (Get-FileHash -LiteralPath ");
        out.AddForPowerShell(wholeName);
        out.Line(" -Algorithm SHA256).Hash");
        out.Line("  must show the checksum above (in capitals).");
    } else {
        out.Line("  No checksum list came with these parts, so the result can't be checked "
                 "against one.");
    }
    return out.Finish();
}
