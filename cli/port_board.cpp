#include "port_board.h"

#include <algorithm>

#include "cli_args.h"

namespace zentor::cli {

namespace {

int Rank(int status) {
    switch (status) {
        case kExitDone:
            return 0;
        case kExitDeclined:
            return 1;
        case kExitUnconfirmed:
            return 2;
        case kExitFailed:
            return 3;
        case kExitUsage:
            return 4;
        default:
            return 5;  // ended by a signal
    }
}

std::string Cell(const std::string& text, std::size_t width) {
    // Widths count code points, so a Cyrillic phase lines up with a Latin one.
    std::string out;
    std::size_t points = 0;
    for (std::size_t i = 0; i < text.size() && points < width; ++points) {
        std::size_t n = 1;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0xF0)
            n = 4;
        else if (c >= 0xE0)
            n = 3;
        else if (c >= 0xC0)
            n = 2;
        out.append(text, i, n);
        i += n;
    }
    out.append(width - points, ' ');
    return out;
}

}  // namespace

const char* StatusWord(int status) {
    switch (status) {
        case kExitDone:
            return "ok";
        case kExitDeclined:
            return "declined";
        case kExitUnconfirmed:
            return "unconfirmed";
        case kExitFailed:
            return "failed";
        case kExitUsage:
            return "usage";
        default:
            return "interrupted";
    }
}

int WorseStatus(int a, int b) {
    return Rank(b) > Rank(a) ? b : a;
}

PortBoard::PortBoard(std::vector<std::string> ports, bool live, std::FILE* out, std::FILE* err)
    : live_(live), out_(out), err_(err) {
    for (auto& p : ports) {
        PortRow row;
        row.port = std::move(p);
        rows_.push_back(std::move(row));
    }
}

std::vector<PortRow> PortBoard::Rows() const {
    const std::lock_guard lock(mutex_);
    return rows_;
}

void PortBoard::Line(std::size_t port, const std::string& text, bool toErr) {
    const std::lock_guard lock(mutex_);
    PortRow& row = rows_.at(port);
    if (!toErr && !text.empty()) row.phase = text;
    if (toErr && !text.empty()) row.lastErr = text;
    if (json_)
        json_->Emit("log", {{"command", JsonText(command_)},
                            {"port", JsonText(row.port)},
                            {"text", JsonText(text)}});
    EraseTable();
    std::FILE* f = toErr && !live_ ? err_ : out_;
    std::fprintf(f, "[%s] %s\n", row.port.c_str(), text.c_str());
    std::fflush(f);
    DrawTable();
}

void PortBoard::Stage(std::size_t port, const std::string& name) {
    const std::lock_guard lock(mutex_);
    rows_.at(port).phase = name;
    if (json_)
        json_->Emit("stage", {{"command", JsonText(command_)},
                              {"port", JsonText(rows_.at(port).port)},
                              {"name", JsonText(name)}});
    EraseTable();
    DrawTable();
}

void PortBoard::Progress(std::size_t port, int percent) {
    const std::lock_guard lock(mutex_);
    if (rows_.at(port).percent == percent) return;
    rows_.at(port).percent = percent;
    if (json_)
        json_->Emit("progress", {{"command", JsonText(command_)},
                                 {"port", JsonText(rows_.at(port).port)},
                                 {"percent", JsonNumber(percent)}});
    const auto now = std::chrono::steady_clock::now();
    if (!live_ || now - lastDraw_ < std::chrono::milliseconds(100)) return;
    EraseTable();
    DrawTable();
}

void PortBoard::Serial(std::size_t port, const std::string& serial) {
    const std::lock_guard lock(mutex_);
    if (rows_.at(port).serial == serial) return;
    rows_.at(port).serial = serial;
    EraseTable();
    DrawTable();
}

void PortBoard::Done(std::size_t port, int status, const std::string& result,
                     const std::string& serial, const std::string& phase, const std::string& note) {
    const std::lock_guard lock(mutex_);
    PortRow& row = rows_.at(port);
    row.status = status;
    row.result = result.empty() ? StatusWord(status) : result;
    if (!serial.empty()) row.serial = serial;
    if (!phase.empty()) row.phase = phase;
    row.note = note;
    EraseTable();
    DrawTable();
}

void PortBoard::Summary() {
    const std::lock_guard lock(mutex_);
    EraseTable();
    std::fprintf(out_, "\n%s%s%s%s%s\n", Cell("port", PortWidth()).c_str(),
                 Cell("serial", 14).c_str(), Cell("result", 13).c_str(), Cell("status", 8).c_str(),
                 "phase / note");
    for (const PortRow& row : rows_) {
        std::string tail = row.phase;
        std::string note = row.note;
        if (note.empty() && row.status != kExitDone) note = row.lastErr;
        if (!note.empty()) tail += (tail.empty() ? "" : ": ") + note;
        std::fprintf(out_, "%s%s%s%s%s\n", Cell(row.port, PortWidth()).c_str(),
                     Cell(row.serial.empty() ? "-" : row.serial, 14).c_str(),
                     Cell(row.result.empty() ? "-" : row.result, 13).c_str(),
                     Cell(row.status < 0 ? "-" : std::to_string(row.status), 8).c_str(),
                     tail.c_str());
    }
    std::fflush(out_);
}

std::size_t PortBoard::PortWidth() const {
    std::size_t width = 12;
    for (const PortRow& row : rows_) width = std::max(width, row.port.size() + 2);
    return width;
}

std::string PortBoard::RowText(const PortRow& row) const {
    const std::string percent = row.percent < 0 ? "" : std::to_string(row.percent) + "%";
    return Cell(row.port, PortWidth()) + Cell(row.serial.empty() ? "-" : row.serial, 14) +
           Cell(row.phase, 34) + Cell(percent, 6) + (row.result.empty() ? "..." : row.result);
}

void PortBoard::EraseTable() {
    if (!live_ || drawnLines_ == 0) return;
    std::fprintf(out_, "\033[%dA\r\033[J", drawnLines_);
    drawnLines_ = 0;
}

void PortBoard::DrawTable() {
    if (!live_) return;
    for (const PortRow& row : rows_) std::fprintf(out_, "%s\033[K\n", RowText(row).c_str());
    drawnLines_ = static_cast<int>(rows_.size());
    lastDraw_ = std::chrono::steady_clock::now();
    std::fflush(out_);
}

}  // namespace zentor::cli
