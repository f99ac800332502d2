#include "station/backup_offer.h"

#include "journal/journal.h"
#include "journal/journal_runs.h"
#include "station/instrument_run.h"
#include "text/message.h"

namespace fs = std::filesystem;

namespace zentor {
namespace {

// Quotes an argument for cmd.exe and POSIX shells alike when it needs it.
std::string Arg(const std::string& text) {
    if (!text.empty() && text.find_first_of(" \t\"'&|<>;()$`\\") == std::string::npos) return text;
#ifdef _WIN32
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
#else
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
#endif
}

}  // namespace

Message NothingErasedOnPort() {
    return ZT("backup.nothing_erased",
              "Стирание на этом порту в журнале не записано: если устройство ждёт в загрузчике "
              "после прерванного обновления, отключите его питание и через 30 секунд включите "
              "снова - вернётся прежняя прошивка с прежними настройками.");
}

namespace {

BackupOffer OfferOf(const UnfinishedUpdate& u, BackupOffer::Kind kind, const Job& s) {
    return BackupOffer{
        u.run.record.serial,
        *u.backup,
        u.run.startTime,
        u.reason,
        kind,
        u.run.computer == ComputerName() && u.run.record.port == s.settings.NamePort};
}

std::string OfferHead(const BackupOffer& offer) {
    if (offer.kind == BackupOffer::Kind::LatestOnPort)
        return Render(ZT("backup.latest_on_port",
                         "Последнее обновление на этом порту - прибор {0} от {1}.\nЕго резервная "
                         "копия DATA FLASH: {2}",
                         offer.serial, offer.runTime, PathToUtf8(offer.backup)));
    return Render(ZT("backup.unfinished",
                     "В журнале есть обновление прибора {0} от {1}: {2}.\nЕго резервная копия "
                     "DATA FLASH: {3}",
                     offer.serial, offer.runTime, offer.reason, PathToUtf8(offer.backup)));
}

}  // namespace

std::optional<BackupOffer> OfferBackupForJumper(const Job& s) {
    auto lines = ReadJournalsFor(s);
    if (!lines) return std::nullopt;
    auto found =
        UnfinishedUpdatesWithBackup(MergeRuns(*lines), ComputerName(), s.settings.NamePort);
    if (found.empty()) return std::nullopt;
    return OfferOf(found.front(), BackupOffer::Kind::OpenFailure, s);
}

std::optional<BackupOffer> OfferBackupForPort(const Job& s) {
    auto lines = ReadJournalsFor(s);
    if (!lines) return std::nullopt;
    const auto runs = MergeRuns(*lines);
    auto failures = UnfinishedUpdatesWithBackup(runs, ComputerName(), s.settings.NamePort);
    std::optional<BackupOffer> failure;
    if (!failures.empty()) failure = OfferOf(failures.front(), BackupOffer::Kind::OpenFailure, s);
    if (failure && failure->thisPort) return failure;
    if (auto latest = LatestBackupOnPort(runs, ComputerName(), s.settings.NamePort))
        return OfferOf(*latest, BackupOffer::Kind::LatestOnPort, s);
    return failure;
}

std::string BackupOfferQuestion(const BackupOffer& offer) {
    return OfferHead(offer) + "\n" +
           Render(ZT("backup.question",
                     "Если это тот же прибор, записать в DATA FLASH эту копию вместо заводского "
                     "data.bin?"));
}

std::string BackupOfferCliText(const Job& s, const BackupOffer& offer) {
    std::string text;
    if (offer.kind == BackupOffer::Kind::LatestOnPort) text = Render(NothingErasedOnPort()) + "\n";
    return text + OfferHead(offer) + "\n" +
           Render(ZT("backup.write_instead",
                     "Если это тот же прибор, запишите эту копию вместо data.bin:\n  {0}",
                     DataFromCommandLine(s, offer.backup)));
}

namespace {

std::string UpdateLine(const Job& s, const char* mode) {
    std::string line = ProgramNameOf(s) + " update --mode " + mode;
    if (!s.workDir.empty() && s.workDir != ".") line += " --dir " + Arg(PathToUtf8(s.workDir));
    if (!s.settings.NamePort.empty()) line += " --port " + Arg(s.settings.NamePort);
    line += " --baud " + std::to_string(s.settings.BaudRate);
    line += " --address " + std::to_string(s.settings.AdrPribor);
    if (!s.journalPath.empty()) line += " --journal " + Arg(PathToUtf8(s.journalPath));
    return line;
}

}  // namespace

std::string DataFromCommandLine(const Job& s, const fs::path& backup) {
    return UpdateLine(s, "keep") + " --data-from " + Arg(PathToUtf8(backup));
}

std::string UseReadingCommandLine(const Job& s) {
    return UpdateLine(s, "keep") + " --use-reading";
}

std::string FactoryUpdateCommandLine(const Job& s) {
    return UpdateLine(s, "factory");
}

}  // namespace zentor
