// Runs one command at a time on a worker thread so the window stays live.
#pragma once

#include <QObject>
#include <functional>
#include <thread>

namespace zentor::gui {

class CommandRunner : public QObject {
    Q_OBJECT
public:
    using Job = std::function<void()>;
    using ErrorHandler = std::function<void(const QString& message)>;

    explicit CommandRunner(QObject* parent = nullptr);
    ~CommandRunner() override;

    // Starts the job unless one is running; false when refused. Called on the GUI thread.
    bool Start(Job job);
    bool Busy() const { return busy_; }
    // Shows what a job threw (on the GUI thread); the job has ended by then.
    void SetErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }
    // Processes events until the running job (if any) has ended.
    void WaitIdle();

signals:
    void busyChanged(bool busy);

private:
    void Finished(const QString& error, bool failed);

    std::thread worker_;
    bool busy_ = false;
    ErrorHandler onError_;
};

}  // namespace zentor::gui
