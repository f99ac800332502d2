// Semicolon-separated values as the journal writes them: a field containing ';',
// '"' or a line break is quoted with inner quotes doubled; records end at an
// unquoted CR, LF or CRLF. Pure text functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zentor {

std::string CsvQuote(std::string_view field);
std::string CsvJoin(const std::vector<std::string>& fields);
// Records of fields; empty lines are skipped, a quoted field may span lines.
std::vector<std::vector<std::string>> CsvSplitRecords(std::string_view text);

}  // namespace zentor
