#include "port_watch.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QTimer>

#include "port_list.h"

namespace zentor::gui {

PortWatch::PortWatch(QComboBox* list, PortOpener& opener, PortLookup& lookup,
                     std::function<bool()> idle, QObject* parent)
    : QObject(parent), list_(list), opener_(opener), lookup_(lookup), idle_(std::move(idle)) {
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("TimerPortWatch"));
    timer_->setInterval(kPortWatchMs);
    connect(timer_, &QTimer::timeout, this, [this] { Rescan(); });
    timer_->start();
}

bool PortWatch::Rescan() {
    if (!idle_() || list_->view()->isVisible()) return false;
    return RefreshPortList(list_, opener_, lookup_);
}

}  // namespace zentor::gui
