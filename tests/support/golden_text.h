// Golden transcripts as text: the replacement of what varies between runs by
// stable placeholders, a printable form of captured output, and a line diff for
// failure messages. Pure text functions; nothing waits, std::regex_error is
// thrown for a malformed pattern when a rule is added.
#pragma once

#include <cstddef>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace zentor::test {

// An ordered list of replacements applied to captured text. Literal rules come
// first, longest text first (a folder before a file inside it), then the
// patterns in the order they were added.
class Normaliser {
public:
    // Every occurrence of `text` (e.g. a temporary folder) as a whole name, not
    // followed by a letter, digit, '.', '_' or '-', becomes `placeholder`; an
    // empty text is ignored.
    void AddLiteral(const std::string& text, const std::string& placeholder);
    // Every match of the ECMAScript `pattern` becomes `replacement` ($1 refers to
    // a group).
    void AddPattern(const std::string& pattern, const std::string& replacement);
    // Every match becomes what `rewrite` makes of it.
    using Rewrite = std::function<std::string(const std::smatch&)>;
    void AddPattern(const std::string& pattern, Rewrite rewrite);

    std::string Apply(const std::string& text) const;

private:
    struct Literal {
        std::string text;
        std::string placeholder;
    };
    struct Pattern {
        std::regex re;
        std::string replacement;
        Rewrite rewrite;  // when set, instead of replacement
    };
    std::vector<Literal> literals_;
    std::vector<Pattern> patterns_;
};

// Captured output as golden-file text: control characters other than line feed
// and tab as \xHH (a backslash as \\), and a last line without its line feed
// followed by the line "\ no newline at end".
std::string PrintableOutput(const std::string& text);

// A unified diff (lines "-expected", "+actual", " context") of two texts split
// into lines, hunks headed "@@ line N @@" with N the expected text's line, at
// most `maxLines` lines of it. Empty when the texts are equal.
std::string LineDiff(const std::string& expected, const std::string& actual,
                     std::size_t maxLines = 40);

}  // namespace zentor::test
