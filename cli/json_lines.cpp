#include "json_lines.h"

#include <cstdint>

#include "journal/journal_query.h"

namespace zentor::cli {

std::string JsonText(const std::string& utf8) {
    return JsonQuoted(utf8);
}

std::string JsonNumber(long long n) {
    return std::to_string(n);
}

void JsonLines::Emit(const char* event, const std::vector<JsonField>& fields) {
    std::string line = "{\"v\":" + JsonNumber(kJsonVersion) + ",\"event\":" + JsonText(event);
    for (const auto& [name, value] : fields) line += ",\"" + std::string(name) + "\":" + value;
    line += "}\n";
    const std::lock_guard lock(mutex_);
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
}

void JsonLines::RunEnd(const std::string& command, const std::string& port,
                       const std::string& runId, const RunRecord& run, int status) {
    std::vector<JsonField> fields = {
        {"command", JsonText(command)},
        {"port", JsonText(port)},
        {"run_id", JsonText(runId)},
        {"serial", JsonText(run.serial)},
        {"phase", JsonText(std::string(RunPhaseText(run.phase)))},
        {"result", JsonText(std::string(RunResultText(run.result)))},
        {"unconfirmed", JsonNumber(run.unconfirmed)},
        {"program", JsonText(run.programName)},
        {"program_sha256", JsonText(run.programSha256)},
        {"data_source", JsonText(run.dataSource)},
        {"data_sha256", JsonText(run.dataSha256)},
        {"backup", JsonText(run.backupPath)},
        {"note", JsonText(run.note)},
        {"link_error", JsonText(std::string(LinkErrorText(run.linkError)))},
        {"status", JsonNumber(status)},
    };
    Emit("end", fields);
}

JsonFrontend::JsonFrontend(CliFrontend::Options o, JsonLines& json, std::string command,
                           std::string port, std::FILE* out, std::FILE* err)
    : CliFrontend(o, out, err), json_(json), command_(std::move(command)), port_(std::move(port)) {}

void JsonFrontend::Event(const char* event, std::vector<JsonField> fields) {
    fields.insert(fields.begin(), {{"command", JsonText(command_)}, {"port", JsonText(port_)}});
    json_.Emit(event, fields);
}

void JsonFrontend::AppendLine(const std::string& line) {
    CliFrontend::AppendLine(line);
    if (sayingId_ != nullptr)
        Event("log", {{"id", JsonText(sayingId_)}, {"text", JsonText(line)}});
    else
        Event("log", {{"text", JsonText(line)}});
}

void JsonFrontend::Say(const Message& m) {
    sayingId_ = m.id;
    CliFrontend::Say(m);
    sayingId_ = nullptr;
}

void JsonFrontend::ShowStage(int number, int count, const std::string& name) {
    CliFrontend::ShowStage(number, count, name);
    Event("stage",
          {{"number", JsonNumber(number)}, {"count", JsonNumber(count)}, {"name", JsonText(name)}});
}

void JsonFrontend::MessageBox(const std::string& text, const std::string& title, MessageIcon icon) {
    CliFrontend::MessageBox(text, title, icon);
    Event("message", {{"title", JsonText(title)}, {"text", JsonText(text)}});
}

bool JsonFrontend::AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) {
    const bool yes = CliFrontend::AskYesNo(text, title, icon);
    Event(
        "question",
        {{"title", JsonText(title)}, {"text", JsonText(text)}, {"answer", yes ? "true" : "false"}});
    return yes;
}

bool JsonFrontend::AskOkCancel(const std::string& text, const std::string& title,
                               MessageIcon icon) {
    const bool ok = CliFrontend::AskOkCancel(text, title, icon);
    Event(
        "question",
        {{"title", JsonText(title)}, {"text", JsonText(text)}, {"answer", ok ? "true" : "false"}});
    return ok;
}

UpdateChoice JsonFrontend::ConfirmUpdate(const std::string& caption,
                                         const std::string& deviceText) {
    UpdateChoice choice = CliFrontend::ConfirmUpdate(caption, deviceText);
    Event("question", {{"title", JsonText(caption)},
                       {"text", JsonText(deviceText)},
                       {"answer", choice.answer.empty() ? "false" : "true"}});
    return choice;
}

void JsonFrontend::OnProgress(int min, int max, int position) {
    CliFrontend::OnProgress(min, max, position);
    if (max <= min) return;
    const int percent = static_cast<int>(100LL * (position - min) / (max - min));
    if (percent == percent_) return;
    percent_ = percent;
    Event("progress", {{"done", JsonNumber(position - min)},
                       {"total", JsonNumber(max - min)},
                       {"percent", JsonNumber(percent)}});
}

}  // namespace zentor::cli
