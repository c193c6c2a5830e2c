#include "registry/clock.h"

#include <ctime>

namespace runsweep {

RecordTime LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return RecordTime{static_cast<unsigned long>(local.tm_year + 1900), static_cast<unsigned long>(local.tm_mon + 1),
                      static_cast<unsigned long>(local.tm_mday),        static_cast<unsigned long>(local.tm_hour),
                      static_cast<unsigned long>(local.tm_min),         static_cast<unsigned long>(local.tm_sec)};
}

} // namespace runsweep
