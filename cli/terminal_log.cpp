#include "terminal_log.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace zentor {

TerminalSize SizeOf(std::FILE* f) {
    TerminalSize size;
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (h != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(h, &info)) {
        size.columns = info.srWindow.Right - info.srWindow.Left + 1;
        size.rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    }
#else
    winsize ws{};
    if (::ioctl(fileno(f), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        size.columns = ws.ws_col;
        size.rows = ws.ws_row;
    }
#endif
    return size;
}

bool EnableEscapes(std::FILE* f) {
#ifdef _WIN32
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return false;
    return SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    (void)f;
    return true;
#endif
}

TerminalLog::TerminalLog(std::FILE* out, TerminalSize (*size)(std::FILE*))
    : out_(out), size_(size) {}

int TerminalLog::RowsOf(const std::string& line, int columns) {
    // Every UTF-8 character takes one cell (the log is Latin and Cyrillic);
    // tabs go to the next multiple of eight.
    int cells = 0;
    for (const char ch : line) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\t')
            cells = (cells / 8 + 1) * 8;
        else if ((c & 0xC0) != 0x80 && c >= 0x20 && c != 0x7F)
            ++cells;
    }
    if (columns < 1) columns = 1;
    return std::max(1, (cells + columns - 1) / columns);
}

void TerminalLog::Append(const std::string& line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    rows_.push_back(RowsOf(line, size_(out_).columns));
}

void TerminalLog::DeleteLast() {
    EraseLast(1);
}

void TerminalLog::Clear() {
    if (rows_.empty()) return;
    rows_.clear();
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TerminalLog::EraseLast(std::size_t count) {
    count = std::min(count, rows_.size());
    if (count == 0) return;
    int up = 0;
    for (std::size_t i = rows_.size() - count; i < rows_.size(); ++i) up += rows_[i];
    rows_.resize(rows_.size() - count);
    // The cursor cannot go above the screen: what has scrolled off stays.
    const int reachable = std::max(0, size_(out_).rows - 1);
    if (up > reachable) {
        up = reachable;
        rows_.clear();
    }
    if (up == 0) return;
    std::fprintf(out_, "\033[%dA\r\033[J", up);
    std::fflush(out_);
}

}  // namespace zentor
