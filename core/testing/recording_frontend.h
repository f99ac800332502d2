// Frontend for tests: keeps the log as lines, records every progress change,
// message box and question, and answers questions from preset replies.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/frontend.h"

namespace zentor {

class RecordingFrontend : public Frontend {
public:
    struct Box {
        std::string kind;  // "message", "yesno", "yesno-default-no", "okcancel", "confirm"
        std::string text;
        std::string title;
        MessageIcon icon = MessageIcon::Information;
    };
    struct Progress {
        int min, max, position;
    };
    struct Stage {
        int number, count;
        std::string name;
        bool operator==(const Stage&) const = default;
    };

    void ClearLog() override;
    void AppendLine(const std::string& line) override;
    void DeleteLastLine() override;
    void Say(const Message& m) override;
    void ShowStopButton(bool visible) override;
    void SetUpdateBusy(bool busy) override;
    void ShowStage(int number, int count, const std::string& name) override;
    void InstrumentIdentified(const std::string& serial) override { identified.push_back(serial); }
    void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNoDefaultNo(const std::string& text, const std::string& title,
                           MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override;
    UpdateChoice ConfirmUpdate(const std::string& caption, const std::string& deviceText) override;

    // Replies used by the questions, in order; when empty, questions answer no.
    std::deque<bool> answers;
    UpdateChoice confirmReply{"Да", UpdateMode::Keep};

    std::vector<std::string> log;      // current pane contents
    std::vector<std::string> history;  // every line ever appended
    std::vector<std::string> said;     // the id of every message said, in order
    std::vector<Box> boxes;
    std::vector<Progress> progress;
    int clears = 0;
    bool stopButtonVisible = false;
    std::vector<bool> stopButtonChanges;
    bool busy = false;
    std::vector<bool> busyChanges;
    std::vector<Stage> stages;            // every stage shown; {0, 0, ""} hides
    std::vector<std::string> identified;  // every serial the identification told

protected:
    void OnProgress(int min, int max, int position) override;

private:
    // Records the box and takes the next preset reply (no when there is none).
    bool Ask(const char* kind, const std::string& text, const std::string& title, MessageIcon icon);
};

}  // namespace zentor
