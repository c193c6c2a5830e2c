#include "catalogue/custom_list.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace runsweep {

namespace {

#ifdef _WIN32
constexpr wchar_t kSeparator = L'\\';
bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}
#else
constexpr wchar_t kSeparator = L'/';
bool IsSeparator(wchar_t c) {
    return c == L'/';
}
#endif

} // namespace

std::wstring CustomListPath(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.empty() || !IsSeparator(path.back())) {
        path += kSeparator;
    }
    path += L"custom.txt";
    return path;
}

bool FileExists(FileSystem& files, const std::wstring& path) {
    return files.FileExists(path);
}

ReadTextResult ReadTextFile(FileSystem& files, const std::wstring& path, std::uint64_t limit) {
    ReadTextResult result;
    const std::unique_ptr<InputFile> file = files.OpenForReading(path);
    if (!file) {
        return result;
    }
    const std::optional<std::uint64_t> size = file->Size();
    if (!size) {
        return result;
    }
    if (*size > limit || *size > std::numeric_limits<std::size_t>::max()) {
        result.status = ReadTextStatus::TooLarge;
        return result;
    }
    // Only as many bytes as the file had when it was sized: a file that grows meanwhile cannot make
    // the program read more than the limit.
    std::string bytes(static_cast<std::size_t>(*size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const std::optional<std::size_t> read = file->Read(bytes.data() + filled, bytes.size() - filled);
        if (!read) {
            return result;
        }
        if (*read == 0) {
            break; // the file became shorter: keep exactly the bytes read
        }
        filled += *read;
    }
    bytes.resize(filled);
    DecodedText decoded = DecodeTextFile(bytes);
    result.text = std::move(decoded.text);
    result.encoding = decoded.encoding;
    result.status = ReadTextStatus::Ok;
    return result;
}

void LoadCustomList(std::wstring_view customListText, Catalogue& catalogue, MessageSink& messages) {
    if (customListText.empty()) {
        messages.ShowMessage(kCustomListEmptyMessage, MessageIcon::Error);
        return;
    }

    // Every LF ends a line and one CR before it goes with it, so a file edited on two systems
    // (CR LF and LF mixed) keeps every line; a CR elsewhere is part of its line.
    std::size_t lineCount = 1;
    for (std::size_t at = customListText.find(L'\n'); at != std::wstring_view::npos;
         at = customListText.find(L'\n', at + 1)) {
        ++lineCount;
    }

    const std::size_t first = FirstCustomIndex();
    catalogue.Resize(first + lineCount);

    std::size_t start = 0;
    for (std::size_t i = 0; i < lineCount; ++i) {
        std::size_t end = customListText.find(L'\n', start);
        if (end == std::wstring_view::npos) {
            end = customListText.size();
        }
        std::wstring_view line = customListText.substr(start, end - start);
        start = end + 1;
        if (end < customListText.size() && !line.empty() && line.back() == L'\r') {
            line.remove_suffix(1);
        }

        if (line.empty()) {
            continue;
        }
        const std::size_t firstComma = line.find(L',');
        if (firstComma == std::wstring_view::npos) {
            messages.ShowLineMessage(kCorruptEntryMessage, MessageIcon::Error, i + 1, line);
            continue;
        }
        const std::wstring_view name = line.substr(0, firstComma);
        std::wstring_view description = line.substr(firstComma + 1);
        description = description.substr(0, description.find(L','));
        if (name.empty() || description.empty() || name.find(L'\0') != std::wstring_view::npos ||
            description.find(L'\0') != std::wstring_view::npos) {
            messages.ShowLineMessage(kCorruptEntryMessage, MessageIcon::Error, i + 1, line);
            continue;
        }
        catalogue.SetEntry(first + i, name, description);
    }
}

std::wstring LoadCustomListAtStartup(const std::wstring& programFolder, Catalogue& catalogue, FileSystem& files,
                                     MessageSink& messages) {
    const std::wstring path = CustomListPath(programFolder);
    if (!FileExists(files, path)) {
        return std::wstring();
    }
    messages.ShowMessage(kUsingCustomListMessage, MessageIcon::Information);
    ReadTextResult read = ReadTextFile(files, path);
    if (read.status == ReadTextStatus::TooLarge) {
        messages.ShowMessage(kCustomListTooLargeMessage, MessageIcon::Error);
        return std::wstring();
    }
    LoadCustomList(read.text, catalogue, messages);
    return std::move(read.text);
}

} // namespace runsweep
