#include "app/windows_version.h"

namespace runsweep {

bool IsNtFamily(unsigned long dwPlatformId) noexcept {
    return dwPlatformId == kPlatformWin32Nt;
}

void CheckWindowsVersion(unsigned long dwPlatformId, MessageSink& messages) {
    if (!IsNtFamily(dwPlatformId)) {
        messages.ShowMessage(kUnsupportedSystemMessage, MessageIcon::None);
    }
}

} // namespace runsweep
