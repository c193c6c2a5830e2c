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

std::wstring MsconfigPath(const WindowsVersion& version, const SystemFolders& folders) {
    const auto join = [](const std::wstring& folder, const wchar_t* tail) {
        if (folder.empty()) {
            return std::wstring();
        }
        return folder + (folder.back() == L'\\' ? L"" : L"\\") + tail;
    };
    if (version.major == 5) {
        return join(folders.windows, L"pchealth\\helpctr\\binaries\\msconfig.exe");
    }
    return join(folders.system, L"msconfig.exe");
}

bool OpenMsconfig(ShellLauncher& shell, MessageSink& messages, const std::wstring& program) {
    if (program.empty() || !shell.Open(program.c_str())) {
        messages.ShowMessage(kMsconfigFailedMessage, MessageIcon::Error);
        return false;
    }
    return true;
}

bool MsconfigReenables(const WindowsVersion& version) noexcept {
    return version.major == 5 || (version.major == 6 && version.minor <= 1);
}

bool OpenReenable(ShellLauncher& shell, MessageSink& messages, const WindowsVersion& version,
                  const SystemFolders& folders) {
    return !MsconfigReenables(version) || !OpenMsconfig(shell, messages, MsconfigPath(version, folders));
}

void ShowVersionHistory(MessageSink& messages) {
    messages.ShowMessage(kVersionHistoryMessage, MessageIcon::Information);
}

} // namespace runsweep
