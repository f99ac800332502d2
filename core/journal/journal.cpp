#include "journal/journal.h"

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "common/files.h"
#include "journal/csv.h"

namespace zentor {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Column order of the file; the header texts are what a spreadsheet shows.
constexpr std::array<const char*, 22> kColumns{"Время",
                                               "Компьютер",
                                               "Событие",
                                               "Запуск",
                                               "Команда",
                                               "Режим",
                                               "Порт",
                                               "Скорость",
                                               "Адрес",
                                               "Модель",
                                               "Серийный номер",
                                               "Программа",
                                               "SHA-256 программы",
                                               "Источник DATA FLASH",
                                               "SHA-256 DATA FLASH",
                                               "Резервная копия",
                                               "Этап",
                                               "Результат",
                                               "Неподтверждено",
                                               "Длительность, с",
                                               "Папка",
                                               "Примечание"};

std::optional<std::int64_t> ParseInt(std::string_view text) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Seconds with one decimal and a decimal comma (what a Russian-locale spreadsheet
// reads as a number).
std::string SecondsText(std::int64_t ms) {
    if (ms < 0) return "";
    const std::int64_t tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

std::optional<std::int64_t> ParseSeconds(std::string_view text) {
    if (text.empty()) return -1;
    const auto sep = text.find_first_of(",.");
    const auto whole = ParseInt(text.substr(0, sep));
    if (!whole || *whole < 0) return std::nullopt;
    std::int64_t ms = *whole * 1000;
    if (sep != std::string_view::npos) {
        std::string_view frac = text.substr(sep + 1);
        if (frac.empty() || frac.size() > 3 || !ParseInt(frac)) return std::nullopt;
        std::int64_t f = *ParseInt(frac);
        for (std::size_t i = frac.size(); i < 3; ++i) f *= 10;
        ms += f;
    }
    return ms;
}

std::optional<JournalEvent> ParseEvent(std::string_view text) {
    if (text == "start") return JournalEvent::Start;
    if (text == "erase") return JournalEvent::Erase;
    if (text == "end") return JournalEvent::End;
    return std::nullopt;
}

std::optional<JournalLine> FromFields(const std::vector<std::string>& f) {
    if (f.size() < kColumns.size()) return std::nullopt;
    JournalLine line;
    auto event = ParseEvent(f[2]);
    auto phase = ParseRunPhase(f[16]);
    auto result = ParseRunResult(f[17]);
    auto baud = f[7].empty() ? std::optional<std::int64_t>(0) : ParseInt(f[7]);
    auto address = f[8].empty() ? std::optional<std::int64_t>(0) : ParseInt(f[8]);
    auto unconfirmed = f[18].empty() ? std::optional<std::int64_t>(0) : ParseInt(f[18]);
    auto duration = ParseSeconds(f[19]);
    if (!event || !phase || !result || !baud || !address || !unconfirmed || !duration ||
        f[3].empty())
        return std::nullopt;
    line.time = f[0];
    line.computer = f[1];
    line.event = *event;
    line.runId = f[3];
    RunRecord& r = line.record;
    r.command = f[4];
    r.mode = f[5];
    r.port = f[6];
    r.baud = static_cast<int>(*baud);
    r.address = static_cast<int>(*address);
    r.model = f[9];
    r.serial = f[10];
    r.programName = f[11];
    r.programSha256 = f[12];
    r.dataSource = f[13];
    r.dataSha256 = f[14];
    r.backupPath = f[15];
    r.phase = *phase;
    r.result = *result;
    r.unconfirmed = static_cast<int>(*unconfirmed);
    line.durationMs = *duration;
    line.folder = f[20];
    r.note = f[21];
    return line;
}

}  // namespace

std::string_view JournalEventText(JournalEvent e) {
    switch (e) {
        case JournalEvent::Start:
            return "start";
        case JournalEvent::Erase:
            return "erase";
        case JournalEvent::End:
            return "end";
    }
    return "";
}

std::string JournalHeader() {
    return CsvJoin(std::vector<std::string>(kColumns.begin(), kColumns.end()));
}

std::string FormatJournalLine(const JournalLine& line) {
    const RunRecord& r = line.record;
    auto num = [](int v) { return v > 0 ? std::to_string(v) : std::string(); };
    return CsvJoin({line.time,
                    line.computer,
                    std::string(JournalEventText(line.event)),
                    line.runId,
                    r.command,
                    r.mode,
                    r.port,
                    num(r.baud),
                    num(r.address),
                    r.model,
                    r.serial,
                    r.programName,
                    r.programSha256,
                    r.dataSource,
                    r.dataSha256,
                    r.backupPath,
                    std::string(RunPhaseText(r.phase)),
                    std::string(RunResultText(r.result)),
                    line.event == JournalEvent::End ? std::to_string(r.unconfirmed) : std::string(),
                    SecondsText(line.durationMs),
                    line.folder,
                    r.note});
}

std::vector<JournalLine> ParseJournal(std::string_view text, int* malformed) {
    std::vector<JournalLine> lines;
    int bad = 0;
    for (std::string_view raw : CsvPhysicalLines(text)) {
        // A crash may leave zeros where a line was, or a second file start.
        while (!raw.empty() && (raw.front() == '\0' || raw.substr(0, kBom.size()) == kBom))
            raw.remove_prefix(raw.front() == '\0' ? 1 : kBom.size());
        if (raw.empty()) continue;
        const auto fields = CsvSplitLine(raw);
        if (fields && !fields->empty() && (*fields)[0] == kColumns[0]) continue;  // a header
        std::optional<JournalLine> line;
        if (fields && raw.find('\0') == std::string_view::npos) line = FromFields(*fields);
        if (line)
            lines.push_back(std::move(*line));
        else
            ++bad;
    }
    if (malformed) *malformed = bad;
    return lines;
}

std::optional<std::vector<JournalLine>> ReadJournal(const std::filesystem::path& path,
                                                    int* malformed) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (malformed) *malformed = 0;
        return std::vector<JournalLine>{};
    }
    auto bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    return ParseJournal(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), malformed);
}

std::string JournalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
#ifdef _WIN32
    localtime_s(&local, &now);
    gmtime_s(&utc, &now);
#else
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
#endif
    // Offset = local wall time minus UTC wall time, both read as if they were UTC.
    auto days = [](int y, int m, int d) {  // days from civil, Howard Hinnant's algorithm
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yoe = y - era * 400;
        const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return static_cast<long long>(era) * 146097 + doe;
    };
    auto seconds = [&](const std::tm& t) {
        return days(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) * 86400 + t.tm_hour * 3600 +
               t.tm_min * 60 + t.tm_sec;
    };
    const long long offsetMin = (seconds(local) - seconds(utc)) / 60;
    const int absMin = static_cast<int>((offsetMin < 0 ? -offsetMin : offsetMin) % (24 * 60));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offsetMin < 0 ? '-' : '+', absMin / 60, absMin % 60);
    return text;
}

std::string PathToUtf8(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string NewRunId() {
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    char text[48];
    std::snprintf(text, sizeof text, "%llx-%08x-%u",
                  static_cast<unsigned long long>(
                      std::chrono::duration_cast<std::chrono::milliseconds>(now).count()),
                  salt, ++counter);
    return text;
}

}  // namespace zentor
