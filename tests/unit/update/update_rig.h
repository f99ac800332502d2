// The shared session rig as the update-face tests use it, and the
// identification frames.
#pragma once

#include "instrument/frames.h"
#include "support/session_rig.h"

namespace zentor::test {

// The port stays closed until a test opens it.
struct UpdateRig : SessionRig {
    UpdateRig() : SessionRig("upd") { station.place.caption = "Zentor Velmar"; }
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
