#pragma once
// Identifiers of the program's resources. Kept free of C++ so the resource compilers can include it.

// The program's icon: the lowest icon identifier, so the shell shows it for the executable.
#define IDI_APP 1
// 16 x 16: a white tick on a green disc, shown when no unnecessary startup was found.
#define IDI_TICK 101
// 32 x 32: the icon of a row of the startup list.
#define IDI_ROWDEFAULT 102
// 54 x 54, 24-bit: the program's image in the About window.
#define IDB_ABOUT 103
