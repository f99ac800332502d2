// The update panel's instrument search: a small button beside the port refresh.
// A click starts the search over every free port (on the window's command thread,
// so no other command runs meanwhile); a click while it runs cancels it before the
// next probe of each port. The search is quick (the panel's address and 1 at every
// rate) unless the checkbox beside the button asks for every address 1..63. A
// small bar on the panel and the window's progress bar follow it. The log gets a
// line per instrument as soon as it answers; at the end, one per port that would
// not open, and the port (unless an entry of that port, such as its usb: name, is
// already chosen), bit rate and address of the first instrument found are selected
// on the panel.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

#include "find/instrument_search.h"
#include "station/job.h"

class QCheckBox;
class QComboBox;
class QProgressBar;
class QToolButton;
class QWidget;

namespace zentor::gui {

class InstrumentFinder : public QObject {
    Q_OBJECT
public:
    struct Panel {
        QWidget* panel = nullptr;  // holds the button and the bar
        QComboBox* port = nullptr;
        QComboBox* baud = nullptr;
        QComboBox* address = nullptr;
    };
    // Starts a job on the command thread; false while another command runs.
    using StartJob = std::function<bool(std::function<void(Job&)>)>;

    InstrumentFinder(Panel panel, Frontend& log, StartJob start, QObject* parent = nullptr);
    ~InstrumentFinder() override;

    QToolButton* button() const { return button_; }
    QProgressBar* bar() const { return bar_; }
    QCheckBox* allAddresses() const { return allAddresses_; }
    bool Running() const { return running_; }

    // The button's click: start, or cancel a running search.
    void Click();

private:
    void Start();
    void Progress(int done, int total);
    void Found(const FoundInstrument& found);
    void Finished(const SearchResult& result);
    void ShowRunning(bool running);

    Panel panel_;
    Frontend& log_;
    StartJob start_;
    QToolButton* button_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QCheckBox* allAddresses_ = nullptr;
    bool running_ = false;
    std::atomic<bool> cancel_{false};
};

}  // namespace zentor::gui
