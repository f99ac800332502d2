// Small widget kinds used by the forms.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPixmap>

namespace zentor::gui {

// Drop-down list that reports when its list closes, whether or not an entry was picked.
class DropDownList : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void hidePopup() override;

signals:
    void closedUp();
};

// A picture that acts on a click; once given a focus policy, Space, Enter and Return
// press it too.
class ClickableImage : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false;
};

// Enter and Return press the focused push or tool button anywhere under root, as
// Space does (a button outside a dialog ignores them otherwise).
void LetEnterPressButtons(QWidget* root);

// The two pictures of the port-list refresh: idle (circular arrow) and busy (hourglass).
QPixmap RefreshIdlePicture(int size = 24);
QPixmap RefreshBusyPicture(int size = 24);

}  // namespace zentor::gui
