#pragma once
// The one place the program's version lives: the version resource and the About window read it.
// Kept free of C++ so the resource compilers can include it.
#define RUNSWEEP_VERSION_MAJOR 1
#define RUNSWEEP_VERSION_MINOR 0
#define RUNSWEEP_VERSION_PATCH 0
#define RUNSWEEP_VERSION_BUILD 6
#define RUNSWEEP_VERSION_NUMERIC 1, 0, 0, 6
#define RUNSWEEP_FILE_VERSION_TEXT "1.00.0006"
#define RUNSWEEP_PRODUCT_NAME "Runsweep 1.06"
#define RUNSWEEP_VERSION_LABEL "Version 1.06"
// The version as runsweepc --version prints it, the one the About window shows.
#define RUNSWEEP_VERSION_TEXT "1.06"
