#include "support/transcript.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zentor::test {

namespace {

std::string Hex(const std::uint8_t* data, std::size_t n) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
        out += buf;
    }
    return out;
}

std::string At(int line) {
    return "line " + std::to_string(line) + ": ";
}

[[noreturn]] void Fail(int line, const std::string& what) {
    throw std::runtime_error(At(line) + what);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The line without its comment ('#' outside quotes).
std::string WithoutComment(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (quoted && line[i] == '\\') {
            ++i;
        } else if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == '#' && !quoted) {
            return line.substr(0, i);
        }
    }
    return line;
}

// Two-digit hex bytes and "quoted text" with \r \n \t \\ \" \xHH escapes.
Bytes ParseBytes(const std::string& text, int line) {
    Bytes out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) Fail(line, "unterminated text");
                char c = text[i];
                if (c == '"') break;
                if (c == '\\') {
                    if (++i >= text.size()) Fail(line, "unterminated text");
                    switch (text[i]) {
                        case 'r':
                            c = '\r';
                            break;
                        case 'n':
                            c = '\n';
                            break;
                        case 't':
                            c = '\t';
                            break;
                        case '\\':
                            c = '\\';
                            break;
                        case '"':
                            c = '"';
                            break;
                        case 'x': {
                            const int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                            const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                            if (hi < 0 || lo < 0) Fail(line, "bad \\x escape");
                            c = static_cast<char>(hi * 16 + lo);
                            i += 2;
                            break;
                        }
                        default:
                            Fail(line, std::string("unknown escape \\") + text[i]);
                    }
                }
                out.push_back(static_cast<std::uint8_t>(c));
            }
            ++i;
        } else {
            std::size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
            const std::string word = text.substr(i, end - i);
            if (word.size() != 2 || HexDigit(word[0]) < 0 || HexDigit(word[1]) < 0)
                Fail(line, "not a hex byte: " + word);
            out.push_back(static_cast<std::uint8_t>(HexDigit(word[0]) * 16 + HexDigit(word[1])));
            i = end;
        }
    }
    if (out.empty()) Fail(line, "no bytes");
    return out;
}

}  // namespace

Transcript Transcript::Parse(const std::string& text) {
    Transcript t;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    bool sawRun = false;
    while (std::getline(in, raw)) {
        ++number;
        std::string line = WithoutComment(raw);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        line = line.substr(start);
        if (line[0] == '>' || line[0] == '<') {
            const auto kind = line[0] == '>' ? Step::Send : Step::Receive;
            t.steps.push_back({kind, ParseBytes(line.substr(1), number), 0, number});
            continue;
        }
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "pause") {
            int ms = -1;
            if (!(words >> ms) || ms < 0 || !(words >> std::ws).eof())
                Fail(number, "pause takes milliseconds");
            t.steps.push_back({Step::Pause, {}, ms, number});
        } else if (keyword == "run") {
            if (sawRun) Fail(number, "a second run line");
            sawRun = true;
            if (!(words >> t.action)) Fail(number, "run names no action");
            for (std::string word; words >> word;) {
                const std::size_t eq = word.find('=');
                if (eq == std::string::npos || eq == 0) Fail(number, "not key=value: " + word);
                t.params[word.substr(0, eq)] = word.substr(eq + 1);
            }
        } else {
            Fail(number, "unknown line: " + line);
        }
    }
    if (!sawRun) throw std::runtime_error("no run line");
    return t;
}

Transcript Transcript::Load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    try {
        return Parse(text.str());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(file.filename().string() + ": " + e.what());
    }
}

long Transcript::Number(const std::string& key, long fallback) const {
    const auto it = params.find(key);
    if (it == params.end()) return fallback;
    std::size_t used = 0;
    const long value = std::stol(it->second, &used, 0);
    if (used != it->second.size()) throw std::runtime_error("not a number: " + key);
    return value;
}

TranscriptReplay::TranscriptReplay(const Transcript& transcript, ScriptedPort& port)
    : t_(transcript), port_(port) {
    // What the device says before the tool's first byte.
    for (; next_ < t_.steps.size() && t_.steps[next_].kind != Transcript::Step::Send; ++next_) {
        const auto& step = t_.steps[next_];
        if (step.kind == Transcript::Step::Pause) {
            pending_ += step.ms;
            continue;
        }
        initial_.push_back({next_, step.bytes.size(), pending_});
        port_.rx.insert(port_.rx.end(), step.bytes.begin(), step.bytes.end());
    }
    port_.responder = [this](const Bytes& w) { return Answer(w); };
}

Bytes TranscriptReplay::Answer(const Bytes& written) {
    const std::size_t call = answers_.size();
    answers_.emplace_back();
    if (!fault_.empty()) return {};
    sent_.insert(sent_.end(), written.begin(), written.end());
    Bytes reply;
    while (fault_.empty()) {
        if (next_ >= t_.steps.size()) {
            if (matched_ < sent_.size())
                fault_ = "after the transcript's end the tool sent " +
                         Hex(sent_.data() + matched_, sent_.size() - matched_);
            break;
        }
        const auto& step = t_.steps[next_];
        if (step.kind == Transcript::Step::Pause) {
            pending_ += step.ms;
            ++next_;
            continue;
        }
        if (step.kind == Transcript::Step::Receive) {
            answers_[call].push_back({next_, step.bytes.size(), pending_});
            reply.insert(reply.end(), step.bytes.begin(), step.bytes.end());
            ++next_;
            continue;
        }
        const std::size_t have = sent_.size() - matched_;
        if (have == 0) break;
        if (stepOffset_ == 0) firstWriteOfNext_ = call;
        const std::size_t n = std::min(have, step.bytes.size() - stepOffset_);
        const auto* expected = step.bytes.data() + stepOffset_;
        const auto* actual = sent_.data() + matched_;
        if (!std::equal(expected, expected + n, actual)) {
            const std::size_t end =
                std::min(sent_.size(), matched_ - stepOffset_ + step.bytes.size());
            const std::size_t from = matched_ - stepOffset_;
            fault_ = At(step.line) + "the tool sent\n  " + Hex(sent_.data() + from, end - from) +
                     "\ninstead of\n  " + Hex(step.bytes.data(), step.bytes.size());
            break;
        }
        matched_ += n;
        stepOffset_ += n;
        if (stepOffset_ < step.bytes.size()) break;
        sends_.push_back({next_, firstWriteOfNext_, call, pending_});
        pending_ = 0;
        stepOffset_ = 0;
        ++next_;
    }
    return reply;
}

std::string TranscriptReplay::Check() const {
    if (!fault_.empty()) return fault_;
    for (std::size_t i = next_; i < t_.steps.size(); ++i) {
        const auto& step = t_.steps[i];
        if (step.kind != Transcript::Step::Send) continue;
        const std::size_t got = i == next_ ? stepOffset_ : 0;
        return At(step.line) + "the tool stopped after " + std::to_string(got) + " of the " +
               std::to_string(step.bytes.size()) + " bytes of this line";
    }
    return CheckTimes();
}

// Replays the port's events against what the device queued: every answer byte
// must be read, none before its pause has passed, and no send may start before
// the pause ahead of it has passed.
std::string TranscriptReplay::CheckTimes() const {
    struct Byte {
        std::size_t step;
        std::int64_t due;
    };
    std::deque<Byte> rx;
    for (const auto& q : initial_) rx.insert(rx.end(), q.count, Byte{q.step, q.pauseMs});
    std::vector<std::int64_t> writeStart, writeEnd;
    std::map<std::size_t, std::size_t> read;  // step -> bytes read
    for (const auto& e : port_.events) {
        if (e.kind == ScriptedPort::Event::Write) {
            const std::size_t call = writeStart.size();
            writeStart.push_back(e.atMs);
            writeEnd.push_back(e.endMs);
            if (call < answers_.size())
                for (const auto& q : answers_[call])
                    rx.insert(rx.end(), q.count, Byte{q.step, e.endMs + q.pauseMs});
        } else if (e.kind == ScriptedPort::Event::Read) {
            for (std::size_t i = 0; i < e.bytes.size() && !rx.empty(); ++i) {
                const Byte b = rx.front();
                rx.pop_front();
                if (e.atMs < b.due)
                    return At(t_.steps[b.step].line) + "the tool read this answer at " +
                           std::to_string(e.atMs) + " ms, before the device gave it at " +
                           std::to_string(b.due) + " ms";
                ++read[b.step];
            }
        } else {
            rx.clear();
        }
    }
    for (std::size_t i = 1; i < sends_.size(); ++i) {
        const SendAt& s = sends_[i];
        const std::int64_t free = writeEnd[sends_[i - 1].lastWrite] + s.pauseMs;
        if (s.pauseMs > 0 && writeStart[s.firstWrite] < free)
            return At(t_.steps[s.step].line) + "the tool sent this line at " +
                   std::to_string(writeStart[s.firstWrite]) +
                   " ms, while the device was busy until " + std::to_string(free) + " ms";
    }
    for (std::size_t i = 0; i < t_.steps.size(); ++i) {
        const auto& step = t_.steps[i];
        if (step.kind == Transcript::Step::Receive && read[i] != step.bytes.size())
            return At(step.line) + "the tool read " + std::to_string(read[i]) + " of the " +
                   std::to_string(step.bytes.size()) + " bytes of this answer";
    }
    return {};
}

}  // namespace zentor::test
