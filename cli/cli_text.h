// zentor-cli's own lines on a standard stream, rendered from the catalogue in
// the language of the run. Writes and flushes; ignores write errors.
#pragma once

#include <cstdio>

#include "text/message.h"

namespace zentor {

inline void PrintLine(std::FILE* stream, const Message& m) {
    std::fputs(Render(m).c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace zentor
