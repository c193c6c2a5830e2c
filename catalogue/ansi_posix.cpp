// The native build's stand-in for the system's ANSI code page: Windows-1252.
#include "catalogue/ansi.h"

namespace runsweep {

std::wstring DecodeAnsi(std::string_view bytes) {
    return DecodeWindows1252(bytes);
}

} // namespace runsweep
