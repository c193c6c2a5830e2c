#pragma once
// Where the core's messages to the user go. The program shows each as a modal message box titled
// "Runsweep" with one OK button; tests record them instead.
#include <cstddef>
#include <string>
#include <string_view>

namespace runsweep {

enum class MessageIcon { None, Information, Error };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Returns when the user has dismissed the message.
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
    // A message about one line of a file the user wrote (custom.txt): the line's number, counted
    // from 1, and its text without its line end. A window shows the message as it is; a console,
    // where the user cannot see the file beside the message, names the line and shows it.
    virtual void ShowLineMessage(const std::wstring& text, MessageIcon icon, std::size_t /*number*/,
                                 std::wstring_view /*line*/) {
        ShowMessage(text, icon);
    }
};

} // namespace runsweep
