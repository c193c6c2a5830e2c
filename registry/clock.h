#pragma once
// The local time a record of a disabled entry is dated with.
#include "registry/startup_record.h"

namespace runsweep {

// Now, in local time: GetLocalTime on Windows (clock_win.cpp), the C library's elsewhere.
RecordTime LocalTimeNow();

} // namespace runsweep
