#include <chrono>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "serial/frame_time.h"
#include "serial/port_lookup.h"
#include "serial/system_port.h"

// After the project headers: <windows.h> defines MessageBox as a macro.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zentor {
namespace {

constexpr DWORD kReadDeadlineMs = 1000;

HANDLE OpenHandle(const std::string& name) {
    // The device prefix lets COM10 and above be opened; a name may carry it already.
    const std::string prefix = "\\\\.\\";
    std::string path = name.compare(0, prefix.size(), prefix) == 0 ? name : prefix + name;
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
}

// The character frame of a device-control record.
FrameFormat FormatOf(const DCB& dcb) {
    FrameFormat f;
    f.dataBits = dcb.ByteSize;
    f.parity = dcb.Parity != NOPARITY;
    f.stopHalfBits = dcb.StopBits == TWOSTOPBITS ? 4 : dcb.StopBits == ONE5STOPBITS ? 3 : 2;
    return f;
}

// The device-control record for a raw 8-bit line: 8N1 at `baud`, DTR and RTS
// held inactive, and no flow control, error replacement, null stripping or
// abort on error, so that every byte passes both ways as it is.
DCB LineState(const DCB& driver, int baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    // The thresholds of the flow control that is off stay the driver's (some
    // drivers check them against their queues); its characters are the usual
    // ones, which SetCommState wants distinct.
    dcb.XonLim = driver.XonLim;
    dcb.XoffLim = driver.XoffLim;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    return dcb;
}

// Reads wait at most kReadDeadlineMs from their start and end as soon as all the
// bytes asked for are there; writes have no deadline of their own.
COMMTIMEOUTS PortTimeouts() {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = kReadDeadlineMs;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    return t;
}

class Win32Port final : public Port {
public:
    Win32Port(HANDLE handle, const COMMTIMEOUTS& timeouts, const DCB& dcb)
        : handle_(handle), timeouts_(timeouts), format_(FormatOf(dcb)), baud_(dcb.BaudRate) {}
    ~Win32Port() override { CloseHandle(handle_); }

    // Returns when the transmit queue is empty (FlushFileBuffers) and no earlier
    // than the bytes' frame time after the call began.
    std::size_t Write(const std::uint8_t* data, std::size_t size) override {
        if (gone_) return 0;
        const auto start = std::chrono::steady_clock::now();
        DWORD written = 0;
        if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, NULL)) NoteError();
        if (written > 0) {
            FlushFileBuffers(handle_);
            std::this_thread::sleep_until(start + FrameTime(written, format_, baud_));
        }
        return written;
    }

    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        if (gone_) return 0;
        DWORD got = 0;
        if (!ReadFile(handle_, data, static_cast<DWORD>(size), &got, NULL)) NoteError();
        return got;
    }

    bool SetReadDeadline(int ms) override {
        if (ms < 1 || ms > static_cast<int>(kReadDeadlineMs)) return false;
        COMMTIMEOUTS t = timeouts_;
        t.ReadTotalTimeoutConstant = static_cast<DWORD>(ms);
        if (!SetCommTimeouts(handle_, &t)) return false;
        timeouts_ = t;
        return true;
    }

    void PurgeRx() override { PurgeComm(handle_, PURGE_RXCLEAR); }

    ComTimeouts Timeouts() const override {
        return {timeouts_.ReadIntervalTimeout, timeouts_.ReadTotalTimeoutMultiplier,
                timeouts_.ReadTotalTimeoutConstant, timeouts_.WriteTotalTimeoutMultiplier,
                timeouts_.WriteTotalTimeoutConstant};
    }

    bool Gone() const override { return gone_; }

private:
    // The errors a USB serial device that was unplugged gives.
    void NoteError() {
        switch (GetLastError()) {
            case ERROR_DEVICE_REMOVED:
            case ERROR_DEVICE_NOT_CONNECTED:
            case ERROR_BAD_COMMAND:
            case ERROR_GEN_FAILURE:
            case ERROR_ACCESS_DENIED:
                gone_ = true;
                break;
            default:
                break;
        }
    }

    HANDLE handle_;
    COMMTIMEOUTS timeouts_;
    FrameFormat format_;
    long baud_;
    bool gone_ = false;
};

OpenResult Failure(OpenStatus status, int code = 0) {
    OpenResult r;
    r.status = status;
    r.errorCode = code;
    return r;
}

class Win32PortOpener final : public PortOpener {
public:
    OpenResult Open(const std::string& requested, int baudRate) override {
        OpenResult failure;
        const std::optional<std::string> resolved = Resolve(requested, &failure);
        if (!resolved) return failure;
        const std::string& name = *resolved;
        HANDLE h = OpenHandle(name);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND) return Failure(OpenStatus::NotFound);
            if (err == ERROR_ACCESS_DENIED) return Failure(OpenStatus::Busy);
            return Failure(OpenStatus::OtherError, static_cast<int>(err));
        }
        // Every field is set: nothing is kept from whatever used the port last.
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        bool ok = GetCommState(h, &dcb);
        if (ok) {
            dcb = LineState(dcb, baudRate);
            ok = SetCommState(h, &dcb);
        }
        COMMTIMEOUTS timeouts = PortTimeouts();
        ok = ok && SetCommTimeouts(h, &timeouts);
        // The frame the driver holds now, for the write timing.
        ok = ok && GetCommState(h, &dcb);
        if (!ok) {
            CloseHandle(h);
            return Failure(OpenStatus::ConfigFailed);
        }
        OpenResult r;
        r.port = std::make_unique<Win32Port>(h, timeouts, dcb);
        return r;
    }

    OpenStatus Probe(const std::string& requested) override {
        OpenResult failure;
        const std::optional<std::string> name = Resolve(requested, &failure);
        if (!name) return failure.status;
        SetLastError(0);
        HANDLE h = OpenHandle(*name);
        DWORD err = GetLastError();
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return OpenStatus::Ok;
        }
        return err == ERROR_ACCESS_DENIED ? OpenStatus::Busy : OpenStatus::NotFound;
    }

private:
    // The COM name of "usb:SERIAL" (any other name as it stands), or nullopt with
    // *failure saying why not.
    std::optional<std::string> Resolve(const std::string& name, OpenResult* failure) {
        const std::optional<std::string> serial = UsbSerialOf(name);
        if (!serial) return name;
        std::vector<std::string> ports = lookup_->DevicesWithSerial(*serial);
        if (ports.size() == 1) return ports.front();
        failure->status = ports.empty() ? OpenStatus::NoSuchAdapter : OpenStatus::AmbiguousAdapter;
        failure->matches = std::move(ports);
        return std::nullopt;
    }

    std::unique_ptr<PortLookup> lookup_ = MakeSystemPortLookup({});
};

}  // namespace

std::unique_ptr<PortOpener> MakeSystemPortOpener(const std::filesystem::path& /*exeDir*/,
                                                 Clock* /*clock*/) {
    return std::make_unique<Win32PortOpener>();
}

// Windows keeps no lock files: the exclusive open is the lock.
void RemovePortLockFilesNow() {}

}  // namespace zentor
