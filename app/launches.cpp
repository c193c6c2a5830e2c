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

void ShowVersionHistory(MessageSink& messages) {
    messages.ShowMessage(kVersionHistoryMessage, MessageIcon::Information);
}

} // namespace runsweep
