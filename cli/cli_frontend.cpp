#include "cli_frontend.h"

#include <algorithm>
#include <string_view>

#include "cli_text.h"

namespace zentor {

namespace {

constexpr int kBarCells = 40;

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.substr(i);
}

bool IsYes(const std::string& answer) {
    for (std::string_view y :
         {"y", "Y", "yes", "Yes", "YES", "д", "Д", "да", "Да", "ДА", "ok", "OK", "Ok", "о", "О"})
        if (answer == y) return true;
    return false;
}

// Message text without its trailing line feeds, for one block on the terminal.
std::string Block(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    return t;
}

}  // namespace

CliFrontend::CliFrontend(Options options, std::FILE* out, std::FILE* err, std::FILE* in)
    : options_(std::move(options)), out_(out), err_(err), in_(in) {
    if (options_.liveLog) live_.emplace(out_);
}

CliFrontend::~CliFrontend() {
    EraseProgress();
}

void CliFrontend::AppendLine(const std::string& line) {
    const bool redraw = barShown_;
    EraseProgress();
    if (live_) {
        live_->Append(line);
    } else {
        std::fputs(line.c_str(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    if (redraw) DrawProgress();
}

void CliFrontend::ClearLog() {
    if (!live_) return;
    const bool redraw = barShown_;
    EraseProgress();
    live_->Clear();
    if (redraw) DrawProgress();
}

void CliFrontend::DeleteLastLine() {
    if (!live_) return;
    const bool redraw = barShown_;
    EraseProgress();
    live_->DeleteLast();
    if (redraw) DrawProgress();
}

void CliFrontend::OwnText() {
    EraseProgress();
    if (live_) live_->Barrier();
}

void CliFrontend::ShowStopButton(bool visible) {
    if (visible && options_.interactive) {
        OwnText();
        PrintLine(err_, ZT("cli.stop_hint", "(Ctrl-C - остановить чтение данных)"));
    }
}

void CliFrontend::SetUpdateBusy(bool busy) {
    if (!busy) return;
    OwnText();
    PrintLine(err_, ZT("update.busy", "Не выключайте питание устройства!!!"));
}

void CliFrontend::MessageBox(const std::string& text, const std::string& title, MessageIcon) {
    OwnText();
    std::fprintf(err_, "[%s] %s\n", title.c_str(), Block(text).c_str());
    std::fflush(err_);
}

bool CliFrontend::Ask(const std::string& text, const std::string& title, const std::string& yes,
                      const std::string& no) {
    OwnText();
    std::fprintf(err_, "[%s] %s\n", title.c_str(), Block(text).c_str());
    if (options_.assumeYes) {
        std::fprintf(err_, "-> %s (--yes)\n", yes.c_str());
        std::fflush(err_);
        return true;
    }
    if (!options_.interactive) {
        PrintLine(err_, ZT("cli.no_terminal",
                           "-> {0} (нет терминала для ответа; --yes отвечает \"{1}\")", no, yes));
        return false;
    }
    std::fprintf(err_, "%s/%s? [y/N] ", yes.c_str(), no.c_str());
    std::fflush(err_);
    char buffer[256];
    if (!std::fgets(buffer, sizeof buffer, in_)) {
        std::fputc('\n', err_);
        return false;
    }
    return IsYes(Trim(buffer));
}

bool CliFrontend::AskYesNo(const std::string& text, const std::string& title, MessageIcon) {
    return Ask(text, title, Render(ZT("answer.yes", "Да")), Render(ZT("answer.no", "Нет")));
}

bool CliFrontend::AskOkCancel(const std::string& text, const std::string& title, MessageIcon) {
    return Ask(text, title, "OK", Render(ZT("answer.cancel", "Отмена")));
}

UpdateChoice CliFrontend::ConfirmUpdate(const std::string& caption, const std::string& deviceText) {
    const std::string text =
        Render(ZT("update.confirm", "Подключено устройство:\n{0}\nПроизвести прошивку? ({1})",
                  deviceText, Render(UpdateModeMessage(options_.updateMode))));
    if (Ask(text, caption, Render(ZT("answer.yes", "Да")), Render(ZT("answer.no", "Нет"))))
        return {"Да", options_.updateMode};
    return {};
}

void CliFrontend::OnProgress(int min, int max, int position) {
    barMin_ = min;
    barMax_ = max;
    barPos_ = position;
    if (!options_.progressBar) return;
    // Position at the minimum: the bar is idle.
    if (position <= min) {
        EraseProgress();
        return;
    }
    DrawProgress();
}

void CliFrontend::DrawProgress() {
    if (!options_.progressBar || barPos_ <= barMin_ || barMax_ <= barMin_) return;
    // One row: "[", the cells, "] 100%" and a column to spare, so that "\r" and
    // erase-line remove all of it.
    const int width = std::min(kBarCells, SizeOf(err_).columns - 8);
    if (width < 1) return;
    const long long span = static_cast<long long>(barMax_) - barMin_;
    const int cells = static_cast<int>((static_cast<long long>(barPos_) - barMin_) * width / span);
    if (barShown_ && cells == drawnCells_) return;
    std::string bar = "\r[";
    bar.append(static_cast<std::size_t>(cells), '#');
    bar.append(static_cast<std::size_t>(width - cells), '.');
    bar += "] " + std::to_string((static_cast<long long>(barPos_) - barMin_) * 100 / span) + "%";
    std::fputs(bar.c_str(), err_);
    std::fflush(err_);
    barShown_ = true;
    drawnCells_ = cells;
}

void CliFrontend::EraseProgress() {
    if (!barShown_) return;
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    barShown_ = false;
    drawnCells_ = -1;
}

}  // namespace zentor
