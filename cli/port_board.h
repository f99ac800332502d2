// What a many-port run shows: each port's log lines, its phase and percent, and
// at the end one summary row per port. Thread-safe: every port's reader calls in
// from its own thread; a call writes at once under one lock.
//
// Piped: each line as it comes, prefixed with its port ("[COM3] ..."), log lines
// on `out`, messages and questions on `err`. On a terminal (`live`): the same
// lines scroll above a table (port, serial, phase, percent, result) that is
// redrawn in place below them, at most every 100 ms for progress alone. With
// --json each of them is also an event (json_lines.h).
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "json_lines.h"

namespace zentor::cli {

struct PortRow {
    std::string port;
    std::string serial;
    std::string phase;    // the stage shown, or the last log line's start
    int percent = -1;     // -1: no progress shown yet
    std::string result;   // empty while running
    int status = -1;      // exit status once done
    std::string note;     // why it failed, from the run's record
    std::string lastErr;  // the last message or question shown, for a note-less failure
};

class PortBoard {
public:
    PortBoard(std::vector<std::string> ports, bool live, std::FILE* out = stdout,
              std::FILE* err = stderr);

    void Line(std::size_t port, const std::string& text, bool toErr);
    void Stage(std::size_t port, const std::string& name);
    void Progress(std::size_t port, int percent);
    void Serial(std::size_t port, const std::string& serial);
    void Done(std::size_t port, int status, const std::string& result, const std::string& serial,
              const std::string& phase, const std::string& note);
    // Removes the live table and prints the summary on `out`.
    void Summary();

    std::vector<PortRow> Rows() const;
    // --json: each line, stage and percent is also an event of `command`.
    void SetJson(JsonLines* json, std::string command) {
        json_ = json;
        command_ = std::move(command);
    }

private:
    void EraseTable();
    void DrawTable();
    std::string RowText(const PortRow& row) const;

    std::size_t PortWidth() const;

    mutable std::mutex mutex_;
    std::vector<PortRow> rows_;
    bool live_;
    std::FILE* out_;
    std::FILE* err_;
    JsonLines* json_ = nullptr;
    std::string command_;
    int drawnLines_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// "ok" and so on for an exit status of zentor-cli.
const char* StatusWord(int status);
// The worst of two exit statuses: failed over unconfirmed over declined over done;
// a usage error or a signal's status over all of them.
int WorseStatus(int a, int b);

}  // namespace zentor::cli
