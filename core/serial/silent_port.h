// A port that takes no bytes and answers nothing, at once: what the links talk
// to while no real port is open (a closed port behaves like a silent device,
// without the read deadline).
#pragma once

#include "serial/port.h"

namespace zentor {

class SilentPort final : public Port {
public:
    std::size_t Write(const std::uint8_t*, std::size_t) override { return 0; }
    std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
    void PurgeRx() override {}
};

// The open port, or a shared SilentPort when p is null.
inline Port& PortOrSilent(Port* p) {
    static SilentPort silent;
    return p ? *p : silent;
}

}  // namespace zentor
