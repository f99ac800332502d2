// Frontend of the window: commands run on a worker thread; log and progress
// updates are queued to the GUI thread, questions block the worker until answered.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "common/frontend.h"

class QDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

namespace zentor::gui {

class QtFrontend : public QObject, public Frontend {
    Q_OBJECT
public:
    // YesNoDefaultNo: "Нет" is the default button.
    enum class BoxKind { Plain, Message, YesNo, YesNoDefaultNo, OkCancel };
    // Answers a box instead of showing it (tests); returns Yes/OK.
    using BoxHook = std::function<bool(BoxKind kind, const std::string& text,
                                       const std::string& title, MessageIcon icon)>;
    using ConfirmHook =
        std::function<UpdateChoice(const std::string& caption, const std::string& deviceText)>;
    // Shows a box or the update question and returns once it is closed.
    using DialogRunner = std::function<void(QDialog& dialog)>;

    struct Targets {
        QPlainTextEdit* log = nullptr;
        QProgressBar* progress = nullptr;
        QWidget* dialogParent = nullptr;
        std::function<void(bool)> showStopButton;
        std::function<void(bool)> setUpdateBusy;
        QLabel* stage = nullptr;  // "Этап n из m: ...", hidden between runs
    };

    explicit QtFrontend(QObject* parent = nullptr);
    void Attach(Targets targets);
    void SetBoxHook(BoxHook hook) { boxHook_ = std::move(hook); }
    void SetConfirmHook(ConfirmHook hook) { confirmHook_ = std::move(hook); }
    // Instead of exec() (application modal), e.g. to keep part of the window usable.
    void SetDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }
    // The program is ending: from now on no box is shown; questions are answered
    // No / Cancel (the update is not confirmed) at once. GUI thread.
    void DeclineFromNowOn() { declining_ = true; }

    void ClearLog() override;
    void AppendLine(const std::string& line) override;
    // A line in red: an outcome the user has to act on. Its text is AppendLine's.
    void AppendAlertLine(const std::string& line);
    void DeleteLastLine() override;
    void ShowStopButton(bool visible) override;
    void SetUpdateBusy(bool busy) override;
    void ShowStage(int number, int count, const std::string& name) override;
    void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNoDefaultNo(const std::string& text, const std::string& title,
                           MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override;
    UpdateChoice ConfirmUpdate(const std::string& caption, const std::string& deviceText) override;

    // A message without icon, one OK button (also from the GUI thread).
    void PlainMessage(const std::string& text, const std::string& title);

protected:
    void OnProgress(int min, int max, int position) override;

private:
    // Runs f on the GUI thread: at once when already there, else queued.
    template <typename F>
    void Post(F f);
    // Runs f on the GUI thread and waits for its result.
    template <typename R, typename F>
    R Call(F f);
    bool ShowBox(BoxKind kind, const std::string& text, const std::string& title, MessageIcon icon);
    void Run(QDialog& dialog);
    void Append(const std::string& line, bool alert);

    Targets targets_;
    BoxHook boxHook_;
    ConfirmHook confirmHook_;
    DialogRunner runner_;
    bool declining_ = false;  // GUI thread
    int lines_ = 0;           // lines in the log pane
};

}  // namespace zentor::gui
