#include "command_runner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <exception>

namespace zentor::gui {

CommandRunner::CommandRunner(QObject* parent) : QObject(parent) {}

CommandRunner::~CommandRunner() {
    WaitIdle();
    if (worker_.joinable()) worker_.join();
}

bool CommandRunner::Start(Job job) {
    if (busy_) return false;
    if (worker_.joinable()) worker_.join();
    busy_ = true;
    emit busyChanged(true);
    worker_ = std::thread([this, job = std::move(job)] {
        QString error;
        bool failed = false;
        try {
            job();
        } catch (const std::exception& e) {
            failed = true;
            error = QString::fromUtf8(e.what());
        } catch (...) {
            failed = true;
        }
        QMetaObject::invokeMethod(
            this, [this, error, failed] { Finished(error, failed); }, Qt::QueuedConnection);
    });
    return true;
}

void CommandRunner::Finished(const QString& error, bool failed) {
    if (worker_.joinable()) worker_.join();
    busy_ = false;
    if (failed && onError_) onError_(error);
    emit busyChanged(false);
}

void CommandRunner::WaitIdle() {
    // The job may be waiting for an answer from the GUI thread, so keep serving events.
    while (busy_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (busy_) QThread::msleep(1);
    }
}

}  // namespace zentor::gui
