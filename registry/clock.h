#pragma once
// The times the program writes: the local time a record of a disabled entry is dated with, and the
// system time Windows' startup switch is dated with.
#include "registry/startup_record.h"

#include <cstdint>

namespace runsweep {

// Now, in local time: GetLocalTime on Windows (clock_win.cpp), the C library's elsewhere.
RecordTime LocalTimeNow();

// A FILETIME as one number: 100-nanosecond steps since 1601-01-01 00:00 UTC.
using FileTime = std::uint64_t;

// Now, as a FILETIME.
FileTime FileTimeNow();

// The local time of a FILETIME, for showing it. Seconds are cut, not rounded.
RecordTime LocalTimeOf(FileTime time);

} // namespace runsweep
