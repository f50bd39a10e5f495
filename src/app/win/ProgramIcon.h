#pragma once

#include <windows.h>

// The resource id of the program's icon (tintwise.rc).
#define TINTWISE_ICON_ID 1

// The program's icon at `side` pixels, from the executable's resources; null
// in a program built without them (the tests).
HICON LoadProgramIcon(int side);
