#pragma once
// Decoding of text in the system's ANSI code page, as custom.txt is written.
#include <string>
#include <string_view>

namespace runsweep {

// Windows-1252, as Windows decodes it: 0x80-0x9F to their 1252 characters (0x80 is U+20AC), the
// five bytes that 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) to U+0081, U+008D, U+008F,
// U+0090, U+009D, and every other byte to the code point of the same value. Portable.
std::wstring DecodeWindows1252(std::string_view bytes);

// The system's ANSI code page: on Windows MultiByteToWideChar with CP_ACP (ansi_win.cpp); in the
// native Linux build the Windows-1252 decoder above (ansi_posix.cpp). Any size of input.
std::wstring DecodeAnsi(std::string_view bytes);

} // namespace runsweep
