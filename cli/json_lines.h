// zentor-cli --json: JSON Lines on standard output, one object per event, the
// human log on standard error. Every object has "v" (the schema version, 1) and
// "event"; the rest depends on the event (docs/json.md, docs/events.schema.json).
// The last object of a run is {"event":"exit","exit_status":N}. Thread-safe:
// each object is written whole, under one lock, and flushed.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli_frontend.h"
#include "journal/run_record.h"

namespace zentor::cli {

inline constexpr int kJsonVersion = 1;

// A field: its name and its value as JSON text (JsonText, JsonNumber).
using JsonField = std::pair<const char*, std::string>;
std::string JsonText(const std::string& utf8);
std::string JsonNumber(long long n);

class JsonLines {
public:
    explicit JsonLines(std::FILE* out) : out_(out) {}
    void Emit(const char* event, const std::vector<JsonField>& fields);
    // The end of one command's run on `port`: what its record says.
    void RunEnd(const std::string& command, const std::string& port, const std::string& runId,
                const RunRecord& run, int status);
    void Exit(int status) { Emit("exit", {{"exit_status", JsonNumber(status)}}); }

private:
    std::mutex mutex_;
    std::FILE* out_;
};

// The CLI's front end with every line, stage, percent, message and answer also
// an event. `port` is put in each event; a line said from the catalogue also
// carries its message id ("id").
class JsonFrontend final : public CliFrontend {
public:
    JsonFrontend(CliFrontend::Options o, JsonLines& json, std::string command, std::string port,
                 std::FILE* out = stderr, std::FILE* err = stderr);
    void AppendLine(const std::string& line) override;
    // A catalogue text: its log event carries the message's id.
    void Say(const Message& m) override;
    void ShowStage(int number, int count, const std::string& name) override;
    void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& title, MessageIcon icon) override;
    UpdateChoice ConfirmUpdate(const std::string& caption, const std::string& deviceText) override;

protected:
    void OnProgress(int min, int max, int position) override;

private:
    void Event(const char* event, std::vector<JsonField> fields);

    JsonLines& json_;
    std::string command_;
    std::string port_;
    int percent_ = -1;
    const char* sayingId_ = nullptr;  // the id of the message being said
};

}  // namespace zentor::cli
