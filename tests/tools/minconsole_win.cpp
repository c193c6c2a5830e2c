// The floor for runsweepc's timing: the least a console program does to print a line and end,
// static like runsweepc.
#include <windows.h>

int wmain() {
    static const char line[] = "Runsweep console floor\r\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof(line) - 1, &written, nullptr);
    return 0;
}
