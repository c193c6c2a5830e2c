#pragma once
// The custom list: custom.txt in the program's folder extends the catalogue, one
// "name,description" entry per line, line i at catalogue index FirstCustomIndex() + i, just after
// both built-in tables. A custom name is always exact, even one that ends in '*'. Every LF ends a
// line, with the one CR before it if there is one (CR LF and LF may be mixed); a CR elsewhere is
// part of its line. The file is read in the ANSI code page, UTF-8 or UTF-16 (text_decoding.h).
//
// There is no 32,666-line ceiling (any number of lines in a file
// of at most kCustomListSizeLimit bytes); a larger file is not read at all and gets one error
// message, and the built-in catalogue stays as it is.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/message_sink.h"
#include "catalogue/catalogue.h"
#include "catalogue/file_system.h"
#include "catalogue/text_decoding.h"

namespace runsweep {

// The largest custom.txt that is read: 64 MiB.
inline constexpr std::uint64_t kCustomListSizeLimit = 64ull * 1024 * 1024;

// The custom list's messages, and the one for a file over the size limit.
inline constexpr const wchar_t* kUsingCustomListMessage = L"Using custom list (custom.txt)";
inline constexpr const wchar_t* kCustomListEmptyMessage = L"Custom list is empty.";
inline constexpr const wchar_t* kCorruptEntryMessage =
    L"Corrupt entry found in custom.txt. Format: Startup,Description";
inline constexpr const wchar_t* kCustomListTooLargeMessage = L"custom.txt is larger than 64 MB and was not loaded.";

// The path of custom.txt in folder: folder + "\custom.txt", without doubling a separator that the
// folder already ends with (a drive root such as "C:\"). The native build joins with '/'.
std::wstring CustomListPath(const std::wstring& folder);

// True when path names an existing file or folder.
bool FileExists(FileSystem& files, const std::wstring& path);

enum class ReadTextStatus {
    Ok,         // text holds the whole file, decoded (empty for an empty file)
    Unreadable, // the file could not be opened, sized or read: text is empty
    TooLarge,   // the file is larger than the limit and was not read: text is empty
};

struct ReadTextResult {
    ReadTextStatus status = ReadTextStatus::Unreadable;
    std::wstring text;
    TextEncoding encoding = TextEncoding::Ansi; // what the file was read as, when status is Ok
};

// Reads the whole file and decodes it as DecodeTextFile chooses: a UTF-8 or UTF-16 byte-order mark,
// valid UTF-8 with a non-ASCII character, otherwise the system's ANSI code page (DecodeAnsi). A file
// larger than limit bytes is not read. Reads no more bytes than the size the file reported when
// opened. Shows no message.
ReadTextResult ReadTextFile(FileSystem& files, const std::wstring& path, std::uint64_t limit = kCustomListSizeLimit);

// Cuts customListText into lines and stores line i at index FirstCustomIndex() + i. Every LF ends a
// line and one CR just before it is dropped with it; any other CR stays part of its line. The
// catalogue's memory follows the entries, not the lines. The name is the text before the first comma, the description
// the text between the first and the second comma, nothing trimmed. The catalogue is resized to FirstCustomIndex() +
// the number of lines; slots of empty and corrupt lines stay empty. Shows "Custom list is empty." (error icon) for an
// empty text, and "Corrupt entry found in custom.txt. Format: Startup,Description" (error icon, as a line message
// naming the line) once for every line without a comma, with an empty name or description, or with a NUL character in
// its name or description, in line order. (The system's calls end a name at a NUL, so such a name would be looked up,
// and deleted, as a shorter one the user never saw; a description would be shown cut short.)
void LoadCustomList(std::wstring_view customListText, Catalogue& catalogue, MessageSink& messages);

// Start-up's custom-list step, after BuildCatalogue: when custom.txt exists in
// programFolder, shows "Using custom list (custom.txt)" (information icon), reads and decodes the
// file and loads it into the catalogue. A file over kCustomListSizeLimit gets the one error
// message kCustomListTooLargeMessage instead and adds nothing. A file that cannot be read counts
// as empty ("Custom list is empty."), so the user sees one message for every way the list can fail to load.
// Returns CustomListText, the file's decoded text (empty when there is no file, or it was not read),
// for the caller to keep for the run. May throw std::bad_alloc.
std::wstring LoadCustomListAtStartup(const std::wstring& programFolder, Catalogue& catalogue, FileSystem& files,
                                     MessageSink& messages);

} // namespace runsweep
