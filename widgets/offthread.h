#pragma once

#include <atomic>
#include <functional>
#include <memory>

class QProgressDialog;

// What work running on a thread of its own shares with the window: how far it is, whether 取消 was
// pressed, and whether the window has seen how far it is (for a last step only the window decides).
struct OffThread {
    std::atomic<long long> done{0};
    std::atomic_bool cancel{false};
    std::atomic_bool finished{false};
    // Work that reaches a point of no return asks here first: true to go on. It waits until the
    // window has looked at 取消 once more, so that a 取消 pressed before then always counts.
    bool mayFinish();

    std::atomic_bool waiting{false};
    std::atomic_bool answered{false};
};

// Runs work on a thread of its own while the window keeps answering: progress (shown by the
// caller) follows done, and its 取消 sets cancel. Returns when work has returned. With detachOnCancel,
// 取消 returns at once and work ends by itself later (it must then hold nothing of the caller's):
// the result is false then.
bool runOffThread(QProgressDialog *progress, std::function<void(OffThread &)> work, bool detachOnCancel = false);
