#include "registry/change_lock_win.h"

#include <windows.h>

namespace runsweep {

namespace {

constexpr const wchar_t* kMutexName = L"Global\\Runsweep.StartupChanges";

// The mutex exists only while some copy waits for it or holds it, so a copy of another user, which
// may not open a mutex this user made, is kept out only while changes are really being made.
class MachineChangeLock final : public ChangeLock {
public:
    ~MachineChangeLock() override { Release(); }

    bool Acquire(unsigned long wait_ms) override {
        Release();
        const ULONGLONG deadline = ::GetTickCount64() + wait_ms;
        for (;;) {
            mutex_ = ::CreateMutexW(nullptr, FALSE, kMutexName);
            if (mutex_ != nullptr) {
                const ULONGLONG now = ::GetTickCount64();
                const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
                const DWORD waited = ::WaitForSingleObject(mutex_, left);
                // Abandoned: its holder ended mid-way; what it left is safe to finish from.
                if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
                    held_ = true;
                    return true;
                }
                ::CloseHandle(mutex_);
                mutex_ = nullptr;
                return false;
            }
            // Another user's copy holds it and this one may not open it: wait and look again.
            if (::GetTickCount64() >= deadline) {
                return false;
            }
            ::Sleep(50);
        }
    }

    void Release() noexcept override {
        if (mutex_ == nullptr) {
            return;
        }
        if (held_) {
            ::ReleaseMutex(mutex_);
            held_ = false;
        }
        ::CloseHandle(mutex_);
        mutex_ = nullptr;
    }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

} // namespace

std::unique_ptr<ChangeLock> MakeMachineChangeLock() {
    return std::make_unique<MachineChangeLock>();
}

} // namespace runsweep
