#pragma once
// Windows' own on/off switch of a startup entry. From Windows 8 on, Task Manager's Startup tab and
// Settings > Apps > Startup do not touch the place a program starts from: they keep one REG_BINARY
// value per entry in a key of its own beside it, named like the entry, and Windows skips at log-on
// every entry whose value says off, even after the program writes its Run value again.
//
//   place                                  switch key (under ...\Explorer\StartupApproved)
//   HKCU's Run key                         HKCU  Run
//   HKLM's Run key, 64-bit view            HKLM  Run
//   HKLM's Run key, 32-bit view            HKLM  Run32
//   the user's Startup folder              HKCU  StartupFolder   (value: the file's name with extension)
//   the all-users Startup folder           HKLM  StartupFolder
//
// The switch keys live in HKLM's 64-bit view for the x86 and the x64 builds alike: Windows reads them
// there, whichever view the entry itself lives in.
//
// A value is a little-endian 32-bit state and then a FILETIME (UTC) of when it was switched off.
// The low bit of the state's first byte says off; Windows writes 02 or 06 for on and 03 or 07 for
// off, so no other bit decides. A missing value is on. A value of another type or shorter than
// the state is no switch Windows wrote: it reads as on and is never overwritten.
#include "base/windows_version.h"
#include "registry/clock.h"
#include "registry/registry.h"

#include <string>
#include <vector>

namespace runsweep {

inline constexpr const wchar_t* kSwitchKeyRoot =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";

// The key that holds the switches of one place's entries; always opened in the 64-bit view.
struct SwitchKey {
    Hive hive = Hive::CurrentUser;
    std::wstring path;
};

inline bool operator==(const SwitchKey& a, const SwitchKey& b) {
    return a.hive == b.hive && a.path == b.path;
}

SwitchKey RunSwitchKey(RunPlace place);
// HKCU's for the user's Startup folder, HKLM's for the all-users one.
SwitchKey StartupFolderSwitchKey(Hive hive);

// Whether a Windows of that version keeps the switch: 8 (6.2) and later. Windows 7 and earlier,
// and Wine unless told to report a later Windows, have none, and then nothing here is read or
// written.
bool KeepsStartupSwitch(const WindowsVersion& version) noexcept;

enum class SwitchValue {
    Missing,      // no value (or no key): on
    On,           // a value that says on
    Off,          // a value that says off
    Unrecognised, // another type, or too short to hold the state: counts as on, left as it is
};

struct StartupSwitch {
    SwitchValue value = SwitchValue::Missing;
    // When off: the time written with it; 0 when the value holds none.
    FileTime off_since = 0;

    bool Off() const noexcept { return value == SwitchValue::Off; }
};

StartupSwitch ParseStartupSwitch(unsigned long type, const std::vector<unsigned char>& data);

// A FILETIME as a UTC date and time, whole seconds.
RecordTime UniversalTimeOf(FileTime time);
// What Task Manager writes: 02 00 00 00 and eight zero bytes for on; 03 00 00 00 and the time for off.
std::vector<unsigned char> SwitchOnData();
std::vector<unsigned char> SwitchOffData(FileTime now);

// One switch. kSuccess with SwitchValue::Missing when the key or the value does not exist; any
// other status when it could not be read (and `state` then says Missing: Windows starts what it
// cannot see switched off).
long ReadStartupSwitch(Registry& registry, const SwitchKey& key, const std::wstring& name, StartupSwitch& state);

// The switches of many names in one switch key: the key is opened once, on the first read, and
// each name is asked once.
class SwitchReader {
public:
    SwitchReader(Registry& registry, SwitchKey key) : registry_(registry), key_(std::move(key)) {}
    StartupSwitch Read(const std::wstring& name);

private:
    Registry& registry_;
    SwitchKey key_;
    bool opened_ = false;
    RegKey handle_;
};

// One named switch, as ReadAllSwitches lists them.
struct NamedSwitch {
    std::wstring name;
    StartupSwitch state;
};

// Every value of a switch key, in enumeration order; an empty list when the key does not exist.
long ReadAllSwitches(Registry& registry, const SwitchKey& key, std::vector<NamedSwitch>& switches);

enum class SwitchChange {
    Written,      // the value now says so: written and read back
    AlreadySo,    // it said so already and was left as it was (an earlier switch-off keeps its date)
    Unrecognised, // it holds data that is no switch; left as it is
    Failed,       // `status` says why
};

struct SwitchWrite {
    SwitchWrite() = default;
    SwitchWrite(SwitchChange change_, long status_, bool was_off_ = false)
        : change(change_), status(status_), was_off(was_off_) {}

    SwitchChange change = SwitchChange::Written;
    long status = kSuccess;
    // The value said off before: an on written over a missing value changes nothing Windows does.
    bool was_off = false;

    bool Failed() const noexcept { return change == SwitchChange::Failed; }
};

// Switches the entry off (03 and `now`) unless it is off already. Creates the key when missing.
SwitchWrite SwitchOff(Registry& registry, const SwitchKey& key, const std::wstring& name, FileTime now);
// Switches the entry on (02 and zeros) unless a value says on already. A missing value is written
// too: an explicit on leaves Windows nothing to guess.
SwitchWrite SwitchOn(Registry& registry, const SwitchKey& key, const std::wstring& name);

} // namespace runsweep
