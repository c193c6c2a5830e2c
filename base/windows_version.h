#pragma once
// The running system's version, for the few things that differ between Windows versions: whether
// the System Configuration utility can re-enable entries, and whether Windows keeps its own
// startup switch.
namespace runsweep {

// 5.1 XP, 6.0 Vista, 6.1 7, 6.2 8, 10.0 10 and 11; 0.0 when the system would not say.
struct WindowsVersion {
    unsigned long major = 0;
    unsigned long minor = 0;
};

// The running system's version, whatever the program's manifest declares (Windows only).
WindowsVersion RunningWindowsVersion() noexcept;

} // namespace runsweep
