// The log on a terminal: "delete the last line" removes that line as the window's
// log pane does, by moving the cursor up and erasing to the end of the screen, so
// a countdown overwrites itself. "Clear" erases nothing: what was printed stays on
// the screen and in the scrollback, and a clear after new lines prints one blank
// line. Text that others print in between (questions, messages) is a barrier:
// lines above it are never erased, nor are lines that have scrolled out of the
// screen. Not thread-safe; writes at once.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zentor {

struct TerminalSize {
    int columns = 80;
    int rows = 24;
};

// The size of the terminal behind `f`, or 80 x 24 when it cannot be asked.
TerminalSize SizeOf(std::FILE* f);
// Makes the console behind `f` interpret the escape sequences used here (a no-op
// outside Windows); false when it cannot.
bool EnableEscapes(std::FILE* f);

class TerminalLog {
public:
    explicit TerminalLog(std::FILE* out, TerminalSize (*size)(std::FILE*) = SizeOf);

    void Append(const std::string& line);
    void DeleteLast();
    // Lines shown so far stay; a blank line follows them when any were shown
    // since the last clear or barrier.
    void Clear();
    // Everything shown so far stays on the screen.
    void Barrier() { rows_.clear(); }

private:
    // Screen rows `line` takes at the current width (at least one).
    static int RowsOf(const std::string& line, int columns);
    // Erases the last `count` erasable lines as far as the screen still shows them.
    void EraseLast(std::size_t count);

    std::FILE* out_;
    TerminalSize (*size_)(std::FILE*);
    std::vector<int> rows_;  // screen rows of each erasable line, oldest first
};

}  // namespace zentor
