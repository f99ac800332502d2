// SIGTERM, SIGINT and SIGHUP for the training window: instead of ending the
// process at once, which would leave the scratch folder behind, each is turned
// into the signal `received` on the GUI thread (the handler only writes the
// signal's number to a socket pair that a QSocketNotifier watches), so the
// program can leave its event loop and clean up on the normal path. After the
// first, the handlers are back to the system's default: a second signal ends the
// process at once (its scratch folder goes at the next start).
//
// One instance at a time; the destructor restores the previous handlers. POSIX
// only: elsewhere nothing is installed and `received` never comes.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace zentor::gui {

class EndSignals : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override;

signals:
    void received(int signo);

private:
    void Read();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zentor::gui
