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

void OpenMsconfig(ShellLauncher& shell, MessageSink& messages) {
    if (!shell.Open(kMsconfigProgram)) {
        messages.ShowMessage(kMsconfigFailedMessage, MessageIcon::Error);
    }
}

bool MsconfigReenables(const WindowsVersion& version) noexcept {
    return version.major == 5 || (version.major == 6 && version.minor <= 1);
}

bool OpenReenable(ShellLauncher& shell, MessageSink& messages, const WindowsVersion& version) {
    if (!MsconfigReenables(version)) {
        return true;
    }
    if (shell.Open(kMsconfigProgram)) {
        return false;
    }
    messages.ShowMessage(kMsconfigFailedMessage, MessageIcon::Error);
    return true;
}

void ShowVersionHistory(MessageSink& messages) {
    messages.ShowMessage(kVersionHistoryMessage, MessageIcon::Information);
}

} // namespace runsweep
