#include "app/ConsoleProgram.h"

#include <windows.h>

int wmain(int count, wchar_t** arguments) {
    ConsoleProgram program;
    return program.Run(count - 1, arguments + 1);
}
