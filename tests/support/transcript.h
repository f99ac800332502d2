// Wire transcripts: a dialogue between the tool and a device written down as
// text (format in tests/transcripts/README.md), and its replay on a
// ScriptedPort, which plays the device and checks the tool's side byte for byte.
// Parsing throws std::runtime_error naming the line; the replay never waits in
// real time (pauses are checked against the port's virtual clock afterwards).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/scripted_port.h"

namespace zentor::test {

struct Transcript {
    struct Step {
        enum Kind { Send, Receive, Pause } kind;
        Bytes bytes;  // Send, Receive
        int ms = 0;   // Pause
        int line = 0;
    };

    std::string action;                         // first word of the "run" line
    std::map<std::string, std::string> params;  // its key=value words
    std::vector<Step> steps;

    static Transcript Parse(const std::string& text);
    static Transcript Load(const std::filesystem::path& file);

    // A parameter as a number (decimal or 0x hex); `fallback` when absent.
    long Number(const std::string& key, long fallback) const;
};

// Plays the device's side of `transcript` on `port` (sets its responder and
// queues answers the device gives before the tool's first byte). Bytes the tool
// sends are matched against the "> " lines as one stream, whatever the chunks
// of its writes; each "< " answer is queued once the sends before it are
// complete. After the first difference the device falls silent.
class TranscriptReplay {
public:
    TranscriptReplay(const Transcript& transcript, ScriptedPort& port);
    TranscriptReplay(const TranscriptReplay&) = delete;
    TranscriptReplay& operator=(const TranscriptReplay&) = delete;

    // Empty when the tool sent exactly the transcript's bytes, read every answer,
    // and neither read an answer nor sent again before a pause had passed;
    // otherwise the first fault, naming the transcript line.
    std::string Check() const;

private:
    struct Queued {
        std::size_t step;
        std::size_t count;
        std::int64_t pauseMs;  // device time after the last send completed
    };
    Bytes Answer(const Bytes& written);
    std::string CheckTimes() const;

    const Transcript& t_;
    ScriptedPort& port_;
    std::size_t next_ = 0;        // first step not yet played
    Bytes sent_;                  // everything the tool wrote
    std::size_t matched_ = 0;     // bytes of sent_ matched to steps
    std::size_t stepOffset_ = 0;  // bytes of the current send step matched
    std::string fault_;
    std::int64_t pending_ = 0;  // pauses since the last completed send
    std::vector<Queued> initial_;
    std::vector<std::vector<Queued>> answers_;  // per write call
    // Per Send step: the write call holding its first byte, the one completing it,
    // and the pause before it.
    struct SendAt {
        std::size_t step, firstWrite, lastWrite;
        std::int64_t pauseMs;
    };
    std::vector<SendAt> sends_;
    std::size_t firstWriteOfNext_ = 0;
};

}  // namespace zentor::test
