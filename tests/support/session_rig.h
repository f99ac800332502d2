// Base of the command test rigs: a job on a ScriptedPort in virtual time, a
// recording front end and a scratch working folder, with file put/get. Rigs for
// one area extend it with their device model and settings. Nothing here waits
// in real time; the folder goes with the rig.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "common/clock.h"
#include "common/files.h"
#include "station/job.h"
#include "support/bytes.h"
#include "support/scratch_dir.h"
#include "support/scripted_port.h"
#include "testing/recording_frontend.h"
#include "testing/virtual_clock.h"

namespace zentor::test {

// `Ui` may be a RecordingFrontend that records more; a `Clock` other than
// VirtualClock leaves the port without time (writes and reads take none).
template <class Ui = RecordingFrontend, class ClockT = VirtualClock>
struct SessionRigOf {
    // The session works in the scratch folder zentor-<tag>-...; no port is open.
    explicit SessionRigOf(const std::string& tag = "rig") : dir(tag) {
        station.place.workDir = dir.path();
    }

    // Opens the scripted port as the session's port.
    void OpenPort(const std::string& name = "COM3", int baud = 9600) {
        s.port = opener.Open(name, baud).port;
    }

    std::filesystem::path File(const std::filesystem::path& name) const { return dir / name; }
    // Writes a file of the working folder (fails the test when it cannot).
    void Put(const std::filesystem::path& name, const Bytes& bytes) const {
        ASSERT_TRUE(WriteFileAtomic(dir / name, bytes)) << name;
    }
    // A file of the working folder; empty, with a failure, when it cannot be read.
    Bytes Get(const std::filesystem::path& name) const {
        auto data = ReadWholeFile(dir / name);
        EXPECT_TRUE(data.has_value()) << name;
        return data.value_or(Bytes{});
    }
    // Names in the folder; folders get a trailing '/'.
    std::set<std::string> Listing(const std::filesystem::path& sub = {}) const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir / sub))
            names.insert(e.path().filename().string() + (e.is_directory() ? "/" : ""));
        return names;
    }

    // Written frames whose first bytes equal `prefix`.
    std::vector<Bytes> WritesStartingWith(const Bytes& prefix) const {
        std::vector<Bytes> out;
        for (const auto& w : port.Writes())
            if (w.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), w.begin()))
                out.push_back(w);
        return out;
    }
    bool SentAnything() const { return !port.Writes().empty(); }

    ScratchDir dir;
    Ui ui;
    ClockT clock;
    ScriptedPort port{PortClock(clock)};
    ScriptedOpener opener{port};
    // What the command is given (settings, place) and its stop controls; `s` is
    // the job a test runs commands in.
    Station station{ui, clock, opener, {}, {}};
    Controls controls;
    Job s{station, controls};

private:
    static VirtualClock* PortClock([[maybe_unused]] ClockT& c) {
        if constexpr (std::is_base_of_v<VirtualClock, ClockT>)
            return &c;
        else
            return nullptr;
    }
};

using SessionRig = SessionRigOf<>;

}  // namespace zentor::test
