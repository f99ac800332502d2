#include "journal/csv.h"

namespace zentor {

std::string CsvQuote(std::string_view field) {
    std::string flat;
    flat.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\r' && i + 1 < field.size() && field[i + 1] == '\n') continue;
        flat += (c == '\r' || c == '\n') ? ' ' : c;
    }
    if (flat.find_first_of(";\"") == std::string::npos) return flat;
    std::string out = "\"";
    for (char c : flat) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CsvJoin(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ';';
        line += CsvQuote(fields[i]);
    }
    return line;
}

std::vector<std::string_view> CsvPhysicalLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
        if (i > start) lines.push_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return lines;
}

std::optional<std::vector<std::string>> CsvSplitLine(std::string_view line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += c;
        }
    }
    if (quoted) return std::nullopt;
    fields.push_back(std::move(field));
    return fields;
}

}  // namespace zentor
