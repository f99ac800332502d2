#include "testing/recording_frontend.h"

namespace zentor {

void RecordingFrontend::ClearLog() {
    log.clear();
    ++clears;
}

void RecordingFrontend::AppendLine(const std::string& line) {
    log.push_back(line);
    history.push_back(line);
}

void RecordingFrontend::Say(const Message& m) {
    said.push_back(m.id);
    Frontend::Say(m);
}

void RecordingFrontend::DeleteLastLine() {
    if (!log.empty()) log.pop_back();
}

void RecordingFrontend::ShowStopButton(bool visible) {
    stopButtonVisible = visible;
    stopButtonChanges.push_back(visible);
}

void RecordingFrontend::SetUpdateBusy(bool b) {
    busy = b;
    busyChanges.push_back(b);
}

void RecordingFrontend::ShowStage(int number, int count, const std::string& name) {
    stages.push_back({number, count, name});
}

void RecordingFrontend::MessageBox(const std::string& text, const std::string& title,
                                   MessageIcon icon) {
    boxes.push_back({"message", text, title, icon});
}

bool RecordingFrontend::Ask(const char* kind, const std::string& text, const std::string& title,
                            MessageIcon icon) {
    boxes.push_back({kind, text, title, icon});
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

bool RecordingFrontend::AskYesNo(const std::string& text, const std::string& title,
                                 MessageIcon icon) {
    return Ask("yesno", text, title, icon);
}

bool RecordingFrontend::AskYesNoDefaultNo(const std::string& text, const std::string& title,
                                          MessageIcon icon) {
    return Ask("yesno-default-no", text, title, icon);
}

bool RecordingFrontend::AskOkCancel(const std::string& text, const std::string& title,
                                    MessageIcon icon) {
    return Ask("okcancel", text, title, icon);
}

UpdateChoice RecordingFrontend::ConfirmUpdate(const std::string& caption,
                                              const std::string& deviceText) {
    boxes.push_back({"confirm", deviceText, caption, MessageIcon::Question});
    return confirmReply;
}

void RecordingFrontend::OnProgress(int min, int max, int position) {
    progress.push_back({min, max, position});
}

}  // namespace zentor
