// Confirmation of a firmware update: model and serial number, factory or keep mode.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmMessageQuestion;
}

namespace zentor::gui {

class TfmMessageQuestion : public QDialog {
    Q_OBJECT
public:
    // caption: the main window's caption; deviceText: "Velmar <model>  s/n: <serial>."
    TfmMessageQuestion(const QString& caption, const QString& deviceText, QWidget* parent);
    ~TfmMessageQuestion() override;

    // "Да" after BitBtnYes, else empty.
    QString UpdateAnswer() const { return answer_; }
    // Text of the selected mode after BitBtnYes, else empty.
    QString UpdateMode() const { return mode_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BitBtnYesClick();
    void BitBtnNoClick();

    std::unique_ptr<Ui::TfmMessageQuestion> ui_;
    QString answer_;
    QString mode_;
};

}  // namespace zentor::gui
