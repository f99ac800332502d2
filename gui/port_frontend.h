// The front end of one port's run in the station face: everything the command
// says goes to the port's tile (tile.h), queued to the GUI thread; nothing here
// touches a widget. Lives on the port's worker thread for one run.
//
// Questions are never shown (several ports would ask at once): each is written
// into the port's log with its answer, "Да" / OK when `answerYes`, otherwise
// declined, as zentor-cli --ports does. The update's confirmation takes `mode`.
#pragma once

#include <string>

#include "common/frontend.h"
#include "port_tile.h"

namespace zentor::gui {

class PortFrontend final : public Frontend {
public:
    PortFrontend(PortTile* tile, bool answerYes, UpdateMode mode)
        : tile_(tile), answerYes_(answerYes), mode_(mode) {}

    // A question was declined: the run did not go on for want of an answer.
    bool declined() const { return declined_; }

    void ClearLog() override {}
    void AppendLine(const std::string& line) override;
    void DeleteLastLine() override;
    void InstrumentIdentified(const std::string& serial) override;
    void ShowStage(int number, int count, const std::string& name) override;
    void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override;
    UpdateChoice ConfirmUpdate(const std::string& caption, const std::string& deviceText) override;

protected:
    void OnProgress(int min, int max, int position) override;

private:
    bool Ask(const std::string& text, const std::string& title, const std::string& yes,
             const std::string& no);
    template <typename F>
    void Post(F f);

    // Owned by the face, which outlives every run (it is not closed while one runs).
    PortTile* tile_;
    bool answerYes_;
    UpdateMode mode_;
    bool declined_ = false;
    int percent_ = -1;  // last percent posted
};

}  // namespace zentor::gui
