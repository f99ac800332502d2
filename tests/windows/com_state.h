// Device-control records of COM ports as the Windows-only tests set and read them
// with raw Win32 calls, outside the code under test.
#pragma once

#include <string>

#include "win_test_util.h"

namespace zentor::wintest {

// The port's device-control record, read through a handle of our own; false when
// the port cannot be opened (still held) or read.
inline bool ReadDcb(const std::string& port, DCB* dcb) {
    const std::string path = "\\\\.\\" + port;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    *dcb = DCB{};
    dcb->DCBlength = sizeof(DCB);
    const bool ok = GetCommState(h, dcb);
    CloseHandle(h);
    return ok;
}

// Leaves the port as a careless program might: XON/XOFF both ways, null
// stripping, hardware handshakes, error replacement and abort on error, and a
// read interval timeout. False when the driver refused; *kept is what it holds.
inline bool LeaveFlowControlOn(const std::string& port, DCB* kept) {
    const std::string path = "\\\\.\\" + port;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    bool ok = GetCommState(h, &dcb);
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fNull = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.ErrorChar = '?';
    dcb.fAbortOnError = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ok = ok && SetCommState(h, &dcb);
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 5;
    t.ReadTotalTimeoutConstant = 50;
    ok = ok && SetCommTimeouts(h, &t);
    *kept = DCB{};
    kept->DCBlength = sizeof(DCB);
    ok = GetCommState(h, kept) && ok;
    CloseHandle(h);
    return ok;
}

// The flag fields of a record that decide which bytes pass as they are.
inline std::string PassFields(const DCB& d) {
    auto field = [](const char* name, unsigned value) {
        return std::string(name) + "=" + std::to_string(value);
    };
    return field("fBinary", d.fBinary) + " " + field("fParity", d.fParity) + " " +
           field("fOutxCtsFlow", d.fOutxCtsFlow) + " " + field("fOutxDsrFlow", d.fOutxDsrFlow) +
           " " + field("fDsrSensitivity", d.fDsrSensitivity) + " " + field("fOutX", d.fOutX) + " " +
           field("fInX", d.fInX) + " " + field("fErrorChar", d.fErrorChar) + " " +
           field("fNull", d.fNull) + " " + field("fAbortOnError", d.fAbortOnError);
}

// Every flag field of a record, for messages.
inline std::string FlagFields(const DCB& d) {
    auto field = [](const char* name, unsigned value) {
        return std::string(name) + "=" + std::to_string(value);
    };
    return field("fBinary", d.fBinary) + " " + field("fParity", d.fParity) + " " +
           field("fOutxCtsFlow", d.fOutxCtsFlow) + " " + field("fOutxDsrFlow", d.fOutxDsrFlow) +
           " " + field("fDtrControl", d.fDtrControl) + " " +
           field("fDsrSensitivity", d.fDsrSensitivity) + " " +
           field("fTXContinueOnXoff", d.fTXContinueOnXoff) + " " + field("fOutX", d.fOutX) + " " +
           field("fInX", d.fInX) + " " + field("fErrorChar", d.fErrorChar) + " " +
           field("fNull", d.fNull) + " " + field("fRtsControl", d.fRtsControl) + " " +
           field("fAbortOnError", d.fAbortOnError);
}

}  // namespace zentor::wintest
