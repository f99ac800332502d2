// Why the last exchange of a link went wrong, as the links on top of a port tell
// it: a caller decides on the kind, and words it only where it shows it.
#pragma once

#include <cstddef>
#include <string_view>

namespace zentor {

enum class LinkError {
    None,         // the exchange went as expected
    PortGone,     // the command did not leave the port whole (the device went away)
    Timeout,      // nothing came back before the deadline
    ShortReply,   // fewer bytes came back than the reply has
    Refused,      // a reply came whose first byte is not the acknowledgement
    EchoMissing,  // the command's echo did not come back
    Checksum,     // a reply whose checksum is wrong
    Mismatch,     // a page read back differs from what was written
};

// How an exchange whose reply was not the one expected fell short: PortGone when
// the command did not leave whole, Timeout when nothing came back, ShortReply
// when fewer than `wanted` bytes came, else `judged` (what the reply's contents
// were found to be: Refused, EchoMissing, Checksum, Mismatch).
constexpr LinkError FailedExchange(bool delivered, std::size_t got, std::size_t wanted,
                                   LinkError judged) {
    if (!delivered) return LinkError::PortGone;
    if (got == 0) return LinkError::Timeout;
    if (got < wanted) return LinkError::ShortReply;
    return judged;
}

// "none", "port-gone", "timeout", "short-reply", "refused", "echo-missing", "checksum",
// "mismatch".
constexpr std::string_view LinkErrorText(LinkError e) {
    switch (e) {
        case LinkError::None:
            return "none";
        case LinkError::PortGone:
            return "port-gone";
        case LinkError::Timeout:
            return "timeout";
        case LinkError::ShortReply:
            return "short-reply";
        case LinkError::Refused:
            return "refused";
        case LinkError::EchoMissing:
            return "echo-missing";
        case LinkError::Checksum:
            return "checksum";
        case LinkError::Mismatch:
            return "mismatch";
    }
    return "none";
}

}  // namespace zentor
