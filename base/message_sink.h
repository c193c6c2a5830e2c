#pragma once
// Where the core's messages to the user go. The program shows each as a modal message box titled
// "Runsweep" with one OK button; tests record them instead.
#include <string>

namespace runsweep {

enum class MessageIcon { None, Information, Error };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Returns when the user has dismissed the message.
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
};

} // namespace runsweep
