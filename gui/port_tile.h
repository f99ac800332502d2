// One port's tile in the station face: port, serial number, phase ("n/m name"),
// a progress bar and the result in its colour (done green; unconfirmed or
// declined amber; failed, refused or interrupted red). It keeps every line the
// port's run logged; a click opens them in a window of their own, which follows
// the run while it is open. GUI thread only (PortFrontend queues to it).
#pragma once

#include <QDialog>
#include <QFrame>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace zentor::gui {

// How a port's run ended, as its tile shows it.
struct PortEnd {
    enum class Colour { Green, Amber, Red };
    Colour colour = Colour::Red;
    QString result;  // "готово", "не подтверждено", ...
    QString serial;  // from the run's record; empty: keep what the tile shows
    QString note;    // why it failed, or what the instrument was left with
};

class PortTile : public QFrame {
    Q_OBJECT
public:
    explicit PortTile(const QString& port, QWidget* parent = nullptr);

    const QString& port() const { return port_; }
    const QStringList& lines() const { return lines_; }
    bool finished() const { return finished_; }
    PortEnd::Colour colour() const { return colour_; }
    QString serial() const;
    QString phase() const;
    QString result() const;
    // Why it failed, whole (the tile may show it shortened).
    const QString& note() const { return note_; }
    int percent() const;
    // The port's log window once opened (null before).
    QDialog* logWindow() const { return logWindow_; }

    void AddLine(const QString& line);
    void DeleteLastLine();
    void SetPhase(const QString& phase);
    void SetPercent(int percent);
    void SetSerial(const QString& serial);
    void Finish(const PortEnd& end);
    // Opens (or raises) the port's log window.
    void ShowLog();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Paint(const QColor& colour);

    QString port_;
    QStringList lines_;
    bool finished_ = false;
    PortEnd::Colour colour_ = PortEnd::Colour::Red;
    QLabel* serial_ = nullptr;
    QLabel* phase_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* result_ = nullptr;
    QString note_;
    QPointer<QDialog> logWindow_;
    QPlainTextEdit* logView_ = nullptr;
};

}  // namespace zentor::gui
