// Semicolon-separated values as the journal writes them: one record per physical
// line. A field containing ';' or '"' is quoted with inner quotes doubled; a line
// break inside a field is written as a space, so a record never spans lines and a
// damaged line spoils no other. Pure text functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zentor {

std::string CsvQuote(std::string_view field);
std::string CsvJoin(const std::vector<std::string>& fields);
// The physical lines of `text`, ended by CR LF, LF or a lone CR; empty lines skipped.
std::vector<std::string_view> CsvPhysicalLines(std::string_view text);
// The fields of one line; nullopt when a quoted field is not closed on it.
std::optional<std::vector<std::string>> CsvSplitLine(std::string_view line);

}  // namespace zentor
