// "Настройки": every setting but the stop-button key; "Да" re-opens the port with
// the new values and saves them.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QTimer;

namespace Ui {
class TfmSetings;
}

namespace zentor::gui {

class TFormZentorFrom_Halden;

class TfmSetings : public QDialog {
    Q_OBJECT
public:
    // Modeless; deletes itself when closed.
    explicit TfmSetings(TFormZentorFrom_Halden& main);
    ~TfmSetings() override;

    void BitBtnYesClick();
    void BitBtnNoClick();
    void ImageUpdateCOMportClick();
    void TimerUpdateCOMportTimer();
    void cbChangeHCRChange();
    void edHCR0Exit();
    void edHCR1Exit();
    void sbAsmFileNameClick();

    // The first thing "Да" would refuse, as the message it shows; empty when all is valid.
    QString ValidationError() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FocusSink();
    void ApplyBusy(bool busy);

    TFormZentorFrom_Halden& main_;
    std::unique_ptr<Ui::TfmSetings> ui_;
    QTimer* timerUpdateCOMport_ = nullptr;
};

}  // namespace zentor::gui
