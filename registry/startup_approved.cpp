#include "registry/startup_approved.h"

#include <utility>

namespace runsweep {

namespace {

constexpr std::size_t kStateSize = 4;
constexpr std::size_t kSwitchSize = kStateSize + 8;
constexpr unsigned char kOnState = 0x02;
constexpr unsigned char kOffState = 0x03;

std::wstring SwitchPath(const wchar_t* leaf) {
    return std::wstring(kSwitchKeyRoot) + L"\\" + leaf;
}

std::vector<unsigned char> SwitchData(unsigned char state, FileTime time) {
    std::vector<unsigned char> data(kSwitchSize, 0);
    data[0] = state;
    for (std::size_t i = 0; i < 8; ++i) {
        data[kStateSize + i] = static_cast<unsigned char>((time >> (8 * i)) & 0xFF);
    }
    return data;
}

StartupSwitch ReadOpen(Registry& registry, const RegKey& key, const std::wstring& name, long& status) {
    RegValue value;
    status = registry.ReadValue(key, name, value);
    if (status == kFileNotFound) {
        status = kSuccess;
        return StartupSwitch{};
    }
    if (status != kSuccess) {
        return StartupSwitch{};
    }
    return ParseStartupSwitch(value.type, value.data);
}

// Writes `data` unless `keep` says the present value must stay, then reads it back: a write the
// registry reported but did not keep is a failure, not a switch changed.
template <class Keep>
SwitchWrite WriteSwitch(Registry& registry, const SwitchKey& where, const std::wstring& name,
                        const std::vector<unsigned char>& data, Keep keep) {
    RegKey key;
    long status = registry.CreateKey(where.hive, where.path, key, RegView::k64);
    if (status != kSuccess) {
        return SwitchWrite{SwitchChange::Failed, status};
    }
    RegValue before;
    status = registry.ReadValue(key, name, before);
    if (status != kSuccess && status != kFileNotFound) {
        return SwitchWrite{SwitchChange::Failed, status};
    }
    const bool existed = status == kSuccess;
    const StartupSwitch present = existed ? ParseStartupSwitch(before.type, before.data) : StartupSwitch{};
    if (present.value == SwitchValue::Unrecognised) {
        return SwitchWrite{SwitchChange::Unrecognised, kSuccess};
    }
    if (keep(present)) {
        return SwitchWrite{SwitchChange::AlreadySo, kSuccess, present.Off()};
    }
    status = registry.SetValue(key, name, kRegBinary, data);
    if (status != kSuccess) {
        return SwitchWrite{SwitchChange::Failed, status};
    }
    RegValue back;
    status = registry.ReadValue(key, name, back);
    if (status != kSuccess && status != kFileNotFound) {
        return SwitchWrite{SwitchChange::Failed, status};
    }
    if (status == kFileNotFound || back.type != kRegBinary || back.data != data) {
        // Neither what was there nor what was written: a value stored damaged, which Windows and
        // every later run would read as something else. Without it Windows starts the entry, and
        // the next run writes the switch afresh. A value the write did not reach stays as it was.
        const bool untouched = existed ? status == kSuccess && back.type == before.type && back.data == before.data
                                       : status == kFileNotFound;
        if (!untouched) {
            registry.DeleteValue(key, name);
        }
        return SwitchWrite{SwitchChange::Failed, kInvalidData, present.Off()};
    }
    return SwitchWrite{SwitchChange::Written, kSuccess, present.Off()};
}

} // namespace

SwitchKey RunSwitchKey(RunPlace place) {
    switch (place) {
    case RunPlace::CurrentUser:
        return SwitchKey{Hive::CurrentUser, SwitchPath(L"Run")};
    case RunPlace::Machine64:
        return SwitchKey{Hive::LocalMachine, SwitchPath(L"Run")};
    case RunPlace::Machine32:
        return SwitchKey{Hive::LocalMachine, SwitchPath(L"Run32")};
    }
    return SwitchKey{Hive::LocalMachine, SwitchPath(L"Run")};
}

SwitchKey StartupFolderSwitchKey(Hive hive) {
    return SwitchKey{hive, SwitchPath(L"StartupFolder")};
}

bool KeepsStartupSwitch(const WindowsVersion& version) noexcept {
    return version.major > 6 || (version.major == 6 && version.minor >= 2);
}

StartupSwitch ParseStartupSwitch(unsigned long type, const std::vector<unsigned char>& data) {
    if (type != kRegBinary || data.size() < kStateSize) {
        return StartupSwitch{SwitchValue::Unrecognised, 0};
    }
    if ((data[0] & 1) == 0) {
        return StartupSwitch{SwitchValue::On, 0};
    }
    FileTime since = 0;
    // A shorter value holds a state and no time.
    if (data.size() >= kSwitchSize) {
        for (std::size_t i = 0; i < 8; ++i) {
            since |= static_cast<FileTime>(data[kStateSize + i]) << (8 * i);
        }
    }
    return StartupSwitch{SwitchValue::Off, since};
}

RecordTime UniversalTimeOf(FileTime time) {
    constexpr FileTime kPerSecond = 10000000;
    const FileTime seconds = time / kPerSecond;
    const auto of_day = static_cast<unsigned long>(seconds % 86400);
    // Days since 1601-01-01, a Monday at the start of a 400-year cycle of the Gregorian calendar.
    FileTime days = seconds / 86400;
    unsigned long year = 1601;
    year += static_cast<unsigned long>(days / 146097) * 400;
    days %= 146097;
    const auto leap = [](unsigned long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    while (days >= (leap(year) ? 366u : 365u)) {
        days -= leap(year) ? 366 : 365;
        ++year;
    }
    const unsigned char lengths[] = {
        31, static_cast<unsigned char>(leap(year) ? 29 : 28), 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned long month = 0;
    while (days >= lengths[month]) {
        days -= lengths[month];
        ++month;
    }
    return RecordTime{year,          month + 1,        static_cast<unsigned long>(days) + 1,
                      of_day / 3600, of_day / 60 % 60, of_day % 60};
}

std::vector<unsigned char> SwitchOnData() {
    return SwitchData(kOnState, 0);
}

std::vector<unsigned char> SwitchOffData(FileTime now) {
    return SwitchData(kOffState, now);
}

long ReadStartupSwitch(Registry& registry, const SwitchKey& key, const std::wstring& name, StartupSwitch& state) {
    state = StartupSwitch{};
    RegKey handle;
    long status = registry.OpenKey(key.hive, key.path, KeyAccess::Query, handle, RegView::k64);
    if (status == kFileNotFound) {
        return kSuccess;
    }
    if (status != kSuccess) {
        return status;
    }
    state = ReadOpen(registry, handle, name, status);
    return status;
}

StartupSwitch SwitchReader::Read(const std::wstring& name) {
    if (!opened_) {
        opened_ = true;
        // Missing or unreadable: every entry reads as on, which is what Windows does with it.
        registry_.OpenKey(key_.hive, key_.path, KeyAccess::Query, handle_, RegView::k64);
    }
    if (!handle_) {
        return StartupSwitch{};
    }
    long status = kSuccess;
    return ReadOpen(registry_, handle_, name, status);
}

long ReadAllSwitches(Registry& registry, const SwitchKey& key, std::vector<NamedSwitch>& switches) {
    switches.clear();
    RegKey handle;
    long status = registry.OpenKey(key.hive, key.path, KeyAccess::Query, handle, RegView::k64);
    if (status == kFileNotFound) {
        return kSuccess;
    }
    if (status != kSuccess) {
        return status;
    }
    std::vector<std::wstring> names;
    status = registry.EnumValueNames(handle, names);
    if (status != kSuccess) {
        return status;
    }
    for (std::wstring& name : names) {
        NamedSwitch entry{std::move(name), StartupSwitch{}};
        entry.state = ReadOpen(registry, handle, entry.name, status);
        if (status != kSuccess) {
            switches.clear();
            return status;
        }
        if (entry.state.value != SwitchValue::Missing) { // not deleted since the enumeration
            switches.push_back(std::move(entry));
        }
    }
    return kSuccess;
}

SwitchWrite SwitchOff(Registry& registry, const SwitchKey& key, const std::wstring& name, FileTime now) {
    return WriteSwitch(registry, key, name, SwitchOffData(now),
                       [](const StartupSwitch& present) { return present.Off(); });
}

SwitchWrite SwitchOn(Registry& registry, const SwitchKey& key, const std::wstring& name) {
    return WriteSwitch(registry, key, name, SwitchOnData(),
                       [](const StartupSwitch& present) { return present.value == SwitchValue::On; });
}

} // namespace runsweep
