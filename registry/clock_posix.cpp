#include "registry/clock.h"

#include <ctime>

namespace runsweep {

namespace {

// From 1601-01-01 to 1970-01-01, in FILETIME steps.
constexpr FileTime kUnixEpoch = 116444736000000000ULL;
constexpr FileTime kStepsPerSecond = 10000000ULL;

RecordTime FromTm(const std::tm& local) {
    return RecordTime{static_cast<unsigned long>(local.tm_year + 1900), static_cast<unsigned long>(local.tm_mon + 1),
                      static_cast<unsigned long>(local.tm_mday),        static_cast<unsigned long>(local.tm_hour),
                      static_cast<unsigned long>(local.tm_min),         static_cast<unsigned long>(local.tm_sec)};
}

} // namespace

RecordTime LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FromTm(local);
}

FileTime FileTimeNow() {
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    return kUnixEpoch + static_cast<FileTime>(now.tv_sec) * kStepsPerSecond + static_cast<FileTime>(now.tv_nsec) / 100;
}

RecordTime LocalTimeOf(FileTime time) {
    // Before 1970 is beyond time_t on some systems; no switch was written then.
    const std::time_t seconds = time > kUnixEpoch ? static_cast<std::time_t>((time - kUnixEpoch) / kStepsPerSecond) : 0;
    std::tm local{};
    localtime_r(&seconds, &local);
    return FromTm(local);
}

} // namespace runsweep
