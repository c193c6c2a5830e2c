#include "registry/clock.h"

#include <windows.h>

namespace runsweep {

RecordTime LocalTimeNow() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return RecordTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

} // namespace runsweep
