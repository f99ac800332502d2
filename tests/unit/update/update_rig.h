// A session on a scripted port with virtual time and a recording front end, in
// a scratch folder, for the update-face tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "common/clock.h"
#include "common/files.h"
#include "common/recording_frontend.h"
#include "common/session.h"
#include "instrument/frames.h"
#include "support/scratch_dir.h"
#include "support/scripted_port.h"

namespace zentor::test {

struct UpdateRig {
    UpdateRig() : port(&clock), opener(port), s(ui, clock, opener) {
        s.workDir = dir;
        s.caption = "Zentor Velmar";
    }

    void Put(const std::string& name, const Bytes& bytes) const {
        ASSERT_TRUE(WriteFileAtomic(dir / name, bytes));
    }
    Bytes Get(const std::string& name) const {
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

    ScratchDir scratch{"upd"};
    std::filesystem::path dir = scratch.path();
    RecordingFrontend ui;
    VirtualClock clock;
    ScriptedPort port;
    ScriptedOpener opener;
    Session s;
};

// The 7-byte answer to an identification read: two bytes, identity, checksum.
inline Bytes IdentityReply(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    Bytes r{0x81, 0xEC, a, b, c, d, 0};
    r[6] = CalcCrc8(r.data(), 6);
    return r;
}

// The identification request for address `adr`.
inline Bytes IdentityRequest(int adr) {
    Bytes f{static_cast<std::uint8_t>(adr | 0x80), 0xEC, 0x03, 0};
    f[3] = CalcCrc8(f.data(), 3);
    return f;
}

}  // namespace zentor::test
