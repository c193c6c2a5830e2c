#pragma once
// What the scan and the "Continue" handler need of the startup list: rows are appended with
// AddItem and read back by index. The list control implements it; tests use the plain model.
#include <string>

namespace runsweep {

// A row's choice as GetChoice reports it.
namespace StartupAction {
inline constexpr const wchar_t* kNone = L"none";
inline constexpr const wchar_t* kDisable = L"disable";
inline constexpr const wchar_t* kRemove = L"remove";
} // namespace StartupAction

class StartupList {
public:
    virtual ~StartupList() = default;
    virtual void AddItem(const std::wstring& sValue, const std::wstring& sDescription) = 0;
    virtual int ListCount() const = 0;
    // "none", "disable", "remove", or "" when no box of the row is checked.
    virtual std::wstring GetChoice(int iItem) const = 0;
    virtual std::wstring GetValue(int iItem) const = 0;
};

} // namespace runsweep
