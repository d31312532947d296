#include "widgets/offthread.h"

#include <QApplication>
#include <QProgressDialog>
#include <QThread>
#include <thread>

bool OffThread::mayFinish()
{
    waiting = true;
    while (!answered)
        QThread::msleep(1);
    return !cancel;
}

bool runOffThread(QProgressDialog *progress, std::function<void(OffThread &)> work, bool detachOnCancel)
{
    auto shared = std::make_shared<OffThread>();
    std::thread worker([shared, work = std::move(work)] {
        work(*shared);
        shared->finished = true;
    });
    for (;;) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (progress && progress->wasCanceled())
            shared->cancel = true;
        if (shared->waiting)
            shared->answered = true;
        if (shared->finished)
            break;
        if (shared->cancel && detachOnCancel) {
            worker.detach();
            return false;
        }
        if (progress && progress->maximum() > 0 && !shared->cancel)
            progress->setValue(int(std::min<long long>(shared->done, progress->maximum())));
        QThread::msleep(2);
    }
    worker.join();
    return true;
}
