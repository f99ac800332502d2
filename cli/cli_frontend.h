// Frontend of zentor-cli: log lines on stdout, message boxes and questions on
// stderr, a progress bar on stderr when it is a terminal. On a terminal the log
// keeps its history: delete-last-line rewrites in place, a clear is at most a
// blank line; otherwise it is plain, one line per log line.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "common/frontend.h"
#include "terminal_log.h"

namespace zentor {

class CliFrontend : public Frontend {
public:
    struct Options {
        bool assumeYes = false;    // --yes: every question answered yes/OK
        bool interactive = false;  // questions may be asked on the terminal
        bool progressBar = false;  // stderr is a terminal
        bool liveLog = false;      // stdout is a terminal that takes escape sequences
        UpdateMode updateMode = UpdateMode::Keep;  // what the update dialog returns with "Да"
    };

    CliFrontend(Options options, std::FILE* out = stdout, std::FILE* err = stderr,
                std::FILE* in = stdin);
    ~CliFrontend() override;

    void ClearLog() override;
    void AppendLine(const std::string& line) override;
    // Where the log goes.
    std::FILE* OutStream() const { return out_; }
    void DeleteLastLine() override;
    void ShowStopButton(bool visible) override;
    void SetUpdateBusy(bool busy) override;
    void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override;
    UpdateChoice ConfirmUpdate(const std::string& caption, const std::string& deviceText) override;

    // Removes the progress bar from the terminal, if shown.
    void EraseProgress();
    // What the update dialog returns with "Да" from now on.
    void SetUpdateMode(UpdateMode mode) { options_.updateMode = mode; }

protected:
    void OnProgress(int min, int max, int position) override;

private:
    // Prints the question and returns the answer: --yes, the terminal, or no.
    bool Ask(const std::string& text, const std::string& title, const std::string& yes,
             const std::string& no);
    void DrawProgress();
    // Text of our own on stderr: the log lines above it stay.
    void OwnText();

    Options options_;
    std::FILE* out_;
    std::FILE* err_;
    std::FILE* in_;
    std::optional<TerminalLog> live_;
    bool barShown_ = false;
    int barMin_ = 0, barMax_ = 100, barPos_ = 0;
    int drawnCells_ = -1;
};

}  // namespace zentor
