#pragma once

// The program's version, written here and nowhere else: the resource script's VERSIONINFO, the
// caption text (app/ProgramInfo.cpp) and, read by CMake, the manifest's assembly version all
// take it from here. Plain defines, because the resource compiler understands nothing else.
#define BRINDLECOT_VERSION_MAJOR 0
#define BRINDLECOT_VERSION_MINOR 1
#define BRINDLECOT_VERSION_PATCH 0
#define BRINDLECOT_VERSION_BUILD 0
// As people see it, in the caption and the file's properties.
#define BRINDLECOT_VERSION_TEXT "0.1d"
