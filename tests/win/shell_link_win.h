#pragma once
// Writes a real shortcut through the shell's link object, as installers make them, for the tests
// and the end-to-end tool. The caller's thread has COM (CoInitializeEx) or gets it here.
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace runsweep::test_support {

inline HRESULT WriteShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr)) {
        hr = link->SetPath(target.c_str());
        if (SUCCEEDED(hr)) {
            hr = link->SetArguments(arguments.c_str());
        }
        IPersistFile* file = nullptr;
        if (SUCCEEDED(hr)) {
            hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        }
        if (SUCCEEDED(hr)) {
            hr = file->Save(path.c_str(), TRUE);
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return hr;
}

} // namespace runsweep::test_support
