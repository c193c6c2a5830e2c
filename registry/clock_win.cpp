#include "registry/clock.h"

#include <windows.h>

namespace runsweep {

namespace {

RecordTime FromSystemTime(const SYSTEMTIME& time) {
    return RecordTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

} // namespace

RecordTime LocalTimeNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return FromSystemTime(now);
}

FileTime FileTimeNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<FileTime>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

RecordTime LocalTimeOf(FileTime time) {
    const FILETIME utc{static_cast<DWORD>(time & 0xFFFFFFFFu), static_cast<DWORD>(time >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    // The time zone's rule of that date, not today's: a date from summer read in winter stays right.
    if (!::FileTimeToSystemTime(&utc, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return RecordTime{};
    }
    return FromSystemTime(local);
}

} // namespace runsweep
