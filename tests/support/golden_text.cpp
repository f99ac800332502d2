#include "support/golden_text.h"

#include <algorithm>
#include <cstdio>

namespace zentor::test {

namespace {

// A character that would continue a file or host name.
bool NameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

}  // namespace

void Normaliser::AddLiteral(const std::string& text, const std::string& placeholder) {
    if (text.empty()) return;
    literals_.push_back({text, placeholder});
    std::stable_sort(literals_.begin(), literals_.end(), [](const Literal& a, const Literal& b) {
        return a.text.size() > b.text.size();
    });
}

void Normaliser::AddPattern(const std::string& pattern, const std::string& replacement) {
    patterns_.push_back({std::regex(pattern, std::regex::ECMAScript), replacement, {}});
}

void Normaliser::AddPattern(const std::string& pattern, Rewrite rewrite) {
    patterns_.push_back({std::regex(pattern, std::regex::ECMAScript), {}, std::move(rewrite)});
}

std::string Normaliser::Apply(const std::string& text) const {
    std::string out = text;
    for (const Literal& l : literals_) {
        std::string next;
        std::size_t from = 0;
        for (std::size_t at; (at = out.find(l.text, from)) != std::string::npos;) {
            const std::size_t end = at + l.text.size();
            next.append(out, from, end - from);
            if (end == out.size() || !NameChar(out[end]))
                next.replace(next.size() - l.text.size(), l.text.size(), l.placeholder);
            from = end;
        }
        next.append(out, from, std::string::npos);
        out = std::move(next);
    }
    for (const Pattern& p : patterns_) {
        if (!p.rewrite) {
            out = std::regex_replace(out, p.re, p.replacement);
            continue;
        }
        std::string next;
        auto from = out.cbegin();
        for (std::sregex_iterator m(out.cbegin(), out.cend(), p.re), end; m != end; ++m) {
            next.append(from, (*m)[0].first);
            next += p.rewrite(*m);
            from = (*m)[0].second;
        }
        next.append(from, out.cend());
        out = std::move(next);
    }
    return out;
}

std::string PrintableOutput(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 && c != '\n' && c != '\t') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() != '\n') out += "\n\\ no newline at end\n";
    return out;
}

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            lines.push_back(text.substr(from));
            break;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

struct Edit {
    char kind;  // ' ', '-', '+'
    std::size_t expectedLine;
    const std::string* line;
};

// The edit script of a longest common subsequence; the texts are transcripts of
// at most a few hundred lines.
std::vector<Edit> EditScript(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1
                                        : std::max(common[i + 1][j], common[i][j + 1]);
    std::vector<Edit> edits;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            edits.push_back({' ', i, &a[i]});
            ++i;
            ++j;
        } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
            edits.push_back({'-', i, &a[i]});
            ++i;
        } else {
            edits.push_back({'+', i, &b[j]});
            ++j;
        }
    }
    return edits;
}

}  // namespace

std::string LineDiff(const std::string& expected, const std::string& actual, std::size_t maxLines) {
    if (expected == actual) return {};
    const std::vector<std::string> a = SplitLines(expected), b = SplitLines(actual);
    const std::vector<Edit> edits = EditScript(a, b);
    constexpr std::size_t kContext = 2;
    std::vector<bool> shown(edits.size(), false);
    for (std::size_t k = 0; k < edits.size(); ++k) {
        if (edits[k].kind == ' ') continue;
        const std::size_t from = k >= kContext ? k - kContext : 0;
        const std::size_t to = std::min(edits.size(), k + kContext + 1);
        for (std::size_t c = from; c < to; ++c) shown[c] = true;
    }
    std::string out;
    std::size_t lines = 0;
    for (std::size_t k = 0; k < edits.size(); ++k) {
        if (!shown[k]) continue;
        if (lines >= maxLines) {
            out += "... (diff cut)\n";
            break;
        }
        if (k == 0 || !shown[k - 1])
            out += "@@ line " + std::to_string(edits[k].expectedLine + 1) + " @@\n";
        out += edits[k].kind;
        out += *edits[k].line + "\n";
        ++lines;
    }
    if (out.empty()) out = "(the texts differ only in a line feed at the end)\n";
    return out;
}

}  // namespace zentor::test
