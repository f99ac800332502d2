#include "widgets.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <cmath>

#include "station/com_port.h"

namespace zentor::gui {

void DropDownList::hidePopup() {
    // Also called when the window goes away; only a list that was down closes up.
    const bool wasDown = view() && view()->isVisible();
    QComboBox::hidePopup();
    if (wasDown) emit closedUp();
}

void ClickableImage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!event->isAutoRepeat()) emit clicked();
            return;
        default:
            QLabel::keyPressEvent(event);
    }
}

void ClickableImage::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

namespace {

// Enter and Return a focused button left unhandled reach its window: pressed here.
class EnterPressesButtons : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        auto* window = qobject_cast<QWidget*>(watched);
        QWidget* focus = window ? window->focusWidget() : nullptr;
        auto* button = qobject_cast<QAbstractButton*>(focus);
        if (!button || !(qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button)))
            return false;
        if (button->isEnabled() && button->isVisible() && !key->isAutoRepeat()) button->click();
        return true;
    }
};

}  // namespace

void LetEnterPressButtons(QWidget* root) {
    root->installEventFilter(new EnterPressesButtons(root));
}

void ClickableImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    QLabel::mousePressEvent(event);
}

void ClickableImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

namespace {

QPixmap Canvas(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

}  // namespace

QPixmap RefreshIdlePicture(int size) {
    QPixmap pm = Canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF ring(s * 0.18, s * 0.18, s * 0.64, s * 0.64);
    QPen pen(QColor(0x1e, 0x7d, 0x32), s * 0.12, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    // Two arcs with a gap, each ending in an arrow head.
    p.drawArc(ring, 30 * 16, 140 * 16);
    p.drawArc(ring, 210 * 16, 140 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1e, 0x7d, 0x32));
    const QPointF c = ring.center();
    const qreal r = ring.width() / 2;
    auto head = [&](qreal degrees) {
        const qreal a = degrees * M_PI / 180.0;
        const QPointF tip(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
        // Tangent direction for a counter-clockwise arc end.
        const QPointF dir(-std::sin(a), -std::cos(a));
        const QPointF normal(std::cos(a), -std::sin(a));
        const qreal len = s * 0.22;
        QPainterPath path;
        path.moveTo(tip + dir * (len * 0.6));
        path.lineTo(tip - dir * (len * 0.3) + normal * (len * 0.5));
        path.lineTo(tip - dir * (len * 0.3) - normal * (len * 0.5));
        path.closeSubpath();
        p.drawPath(path);
    };
    head(170);
    head(350);
    return pm;
}

QPixmap RefreshBusyPicture(int size) {
    QPixmap pm = Canvas(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal l = s * 0.22, r = s * 0.78, t = s * 0.12, b = s * 0.88, m = s * 0.5;
    QPen frame(QColor(0x5d, 0x40, 0x37), s * 0.08, Qt::SolidLine, Qt::RoundCap);
    p.setPen(frame);
    p.drawLine(QPointF(l - s * 0.04, t), QPointF(r + s * 0.04, t));
    p.drawLine(QPointF(l - s * 0.04, b), QPointF(r + s * 0.04, b));
    QPainterPath glass;
    glass.moveTo(l, t);
    glass.lineTo(r, t);
    glass.lineTo(m + s * 0.05, m);
    glass.lineTo(r, b);
    glass.lineTo(l, b);
    glass.lineTo(m - s * 0.05, m);
    glass.closeSubpath();
    p.setPen(QPen(QColor(0x5d, 0x40, 0x37), s * 0.05));
    p.setBrush(QColor(0xff, 0xf8, 0xe1));
    p.drawPath(glass);
    // Sand: a little left on top, a heap below.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf5, 0x9e, 0x0b));
    QPainterPath top;
    top.moveTo(l + s * 0.14, t + s * 0.16);
    top.lineTo(r - s * 0.14, t + s * 0.16);
    top.lineTo(m, m - s * 0.04);
    top.closeSubpath();
    p.drawPath(top);
    QPainterPath heap;
    heap.moveTo(l + s * 0.06, b - s * 0.02);
    heap.lineTo(r - s * 0.06, b - s * 0.02);
    heap.lineTo(m, b - s * 0.2);
    heap.closeSubpath();
    p.drawPath(heap);
    return pm;
}

}  // namespace zentor::gui
