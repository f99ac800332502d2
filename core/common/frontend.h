// The only way a command talks to the user: log pane, progress bar, message boxes
// and questions. Texts are UTF-8; a command's own texts are messages of the
// catalogue (text/message.h), rendered in the current language. Implementations: the Qt main
// window, the CLI, and RecordingFrontend for tests.
#pragma once

#include <string>

#include "common/update_mode.h"
#include "text/message.h"

namespace zentor {

enum class MessageIcon { Information, Exclamation, Question };

// What the update confirmation dialog hands back: "Да" or empty, and the mode
// chosen (None when none was).
struct UpdateChoice {
    std::string answer;
    UpdateMode mode = UpdateMode::None;
};

class Frontend {
public:
    virtual ~Frontend() = default;

    // Log pane.
    virtual void ClearLog() = 0;
    virtual void AppendLine(const std::string& line) = 0;
    virtual void DeleteLastLine() = 0;
    // A message of the catalogue as a log line (rendered in the current language).
    virtual void Say(const Message& m) { AppendLine(Render(m)); }

    // Progress bar. A reversed range is swapped; a position is clamped to the range.
    void SetProgressRange(int lower, int upper);
    void SetProgressPosition(int value);
    int ProgressMin() const { return min_; }
    int ProgressMax() const { return max_; }
    int ProgressPosition() const { return position_; }

    // Lets the window repaint between exchanges; a no-op where the UI lives on
    // another thread.
    virtual void ProcessMessages() {}

    // Stop button of the data read (shown only while a read runs).
    virtual void ShowStopButton(bool /*visible*/) {}

    // Busy display of the firmware update: button disabled, warning panel shown.
    virtual void SetUpdateBusy(bool /*busy*/) {}

    // The instrument that answered the identification, by its serial text
    // ("14v071510"): a many-port board or tile shows it as soon as it is known.
    virtual void InstrumentIdentified(const std::string& /*serial*/) {}

    // Whole-run progress of the update beside the stage's bar: stage number of
    // count and its name; number 0 hides it.
    virtual void ShowStage(int /*number*/, int /*count*/, const std::string& /*name*/) {}

    // Message box with one OK button.
    virtual void MessageBox(const std::string& text, const std::string& title,
                            MessageIcon icon) = 0;
    // Returns true for Yes / OK.
    virtual bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    // The same question with "Нет" as the default button (what Enter answers).
    virtual bool AskYesNoDefaultNo(const std::string& text, const std::string& title,
                                   MessageIcon icon) {
        return AskYesNo(text, title, icon);
    }
    virtual bool AskOkCancel(const std::string& text, const std::string& title,
                             MessageIcon icon) = 0;

    // Modal update confirmation: caption, and the model/serial text of its label.
    virtual UpdateChoice ConfirmUpdate(const std::string& caption,
                                       const std::string& deviceText) = 0;

protected:
    // Called after every change of range or position.
    virtual void OnProgress(int /*min*/, int /*max*/, int /*position*/) {}

private:
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};

}  // namespace zentor
