#pragma once
// One copy of the program at a time changes startup entries: the window's Continue and Re-enable
// and runsweepc's disable, remove and enable all take this lock first, so that two copies never act
// on the same entry at once (both would plan from what the other is changing).
#include <memory>

namespace runsweep {

class ChangeLock {
public:
    virtual ~ChangeLock() = default;
    // Waits up to `wait_ms` for whoever changes entries now to finish; true when this copy holds
    // the lock, until Release or its end. A copy killed while it holds the lock lets it go.
    virtual bool Acquire(unsigned long wait_ms) = 0;
    virtual void Release() noexcept = 0;
};

// How long a copy waits for another's changes before saying so: long enough for a runsweepc run or
// a Continue of a full list, short enough for a script not to seem hung.
inline constexpr unsigned long kChangeLockWaitMs = 5000;

// Holds the lock for a scope once acquired.
class ChangeLockHold {
public:
    ChangeLockHold(ChangeLock* lock, unsigned long wait_ms) : lock_(lock) {
        held_ = lock_ == nullptr || lock_->Acquire(wait_ms);
    }
    ~ChangeLockHold() {
        if (held_ && lock_ != nullptr) {
            lock_->Release();
        }
    }
    ChangeLockHold(const ChangeLockHold&) = delete;
    ChangeLockHold& operator=(const ChangeLockHold&) = delete;
    bool Held() const noexcept { return held_; }

private:
    ChangeLock* lock_;
    bool held_ = false;
};

} // namespace runsweep
