#include "app/launches.h"

namespace runsweep {

const wchar_t* WebAddress(WebPage page) noexcept {
    switch (page) {
    case WebPage::Donate:
        return kDonateAddress;
    case WebPage::DetectedList:
        return kDetectedListAddress;
    case WebPage::Contact:
        return kContactAddress;
    case WebPage::CorporateLicensing:
        return kCorporateAddress;
    }
    return kDonateAddress;
}

void OpenDocument(ShellLauncher& shell, WebPage page) {
    static_cast<void>(shell.Open(WebAddress(page)));
}

bool OpenMsconfig(ShellLauncher& shell, MessageSink& messages) {
    if (!shell.Open(kMsconfigProgram)) {
        messages.ShowMessage(kMsconfigFailedMessage, MessageIcon::Error);
        return false;
    }
    return true;
}

bool MsconfigReenables(const WindowsVersion& version) noexcept {
    return version.major == 5 || (version.major == 6 && version.minor <= 1);
}

bool OpenReenable(ShellLauncher& shell, MessageSink& messages, const WindowsVersion& version) {
    return !MsconfigReenables(version) || !OpenMsconfig(shell, messages);
}

void ShowVersionHistory(MessageSink& messages) {
    messages.ShowMessage(kVersionHistoryMessage, MessageIcon::Information);
}

} // namespace runsweep
