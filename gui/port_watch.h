// Keeps a port list current while adapters come and go: every kPortWatchMs, when
// the owner says it is idle (no command running) and the list's drop-down is
// closed, the port scan runs again and the list is refilled only when its entries
// changed (RefreshPortList: the chosen entry stays chosen, a vanished one stays
// listed under its name). Runs on the GUI thread; a rescan blocks for the scan
// (each name probed once, no bytes sent) and the lookup, as FillPortList does.
// The same timer serves Windows, where the scan is as light.
#pragma once

#include <QObject>
#include <functional>

#include "serial/port.h"
#include "serial/port_lookup.h"

class QComboBox;
class QTimer;

namespace zentor::gui {

inline constexpr int kPortWatchMs = 2000;

class PortWatch : public QObject {
    Q_OBJECT
public:
    // `idle`: false while a command runs (the scan opens ports).
    PortWatch(QComboBox* list, PortOpener& opener, PortLookup& lookup, std::function<bool()> idle,
              QObject* parent);

    // One rescan now, unless busy; true when the list changed.
    bool Rescan();
    QTimer* timer() const { return timer_; }

private:
    QComboBox* list_;
    PortOpener& opener_;
    PortLookup& lookup_;
    std::function<bool()> idle_;
    QTimer* timer_ = nullptr;
};

}  // namespace zentor::gui
