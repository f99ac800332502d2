// Everything one running tool instance shares between its commands: settings,
// the open port, the user-facing front end, the clock and the window state the
// commands consult. Commands receive it by reference; there are no globals.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/frontend.h"
#include "config/settings.h"
#include "journal/run_record.h"
#include "serial/port.h"

namespace zentor {

enum class WindowFace { FactoryFace, UpdateFace, EncoderFace };

struct InstrumentIdentity {
    std::uint8_t prefix = 0;
    std::uint8_t model = 0;
    std::uint8_t number1 = 0;
    std::uint8_t number2 = 0;
};

inline constexpr const char* kKeepModeText = "с сохранением текущих настроек";
inline constexpr const char* kFactoryModeText = "с установкой заводских настроек";

struct Session {
    Session(Frontend& frontend, Clock& clk, PortOpener& portOpener)
        : ui(frontend), clock(clk), opener(portOpener) {}

    Frontend& ui;
    Clock& clock;
    PortOpener& opener;

    Settings settings;
    WindowFace face = WindowFace::UpdateFace;
    std::string caption = "Zentor MSC";  // main window caption, title of message boxes

    // Port state (hComPort and the timeouts last applied).
    std::unique_ptr<Port> hComPort;
    ComTimeouts comTimeouts;

    // Folder in which the bare-named image and data files live (the current
    // directory unless a caller chooses another, e.g. one folder per port).
    std::filesystem::path workDir = ".";
    // Full path of the executable: the configuration and batch files are named after it.
    std::filesystem::path exePath;

    std::atomic<bool> StopRequested{false};
    std::string UpdateAnswer;
    std::string UpdateMode;
    std::vector<std::string> TempFiles;

    std::array<std::uint8_t, 300> ReplyBuffer{};
    std::array<std::uint8_t, 300> CommandBuffer{};
    int DeviceVersionCode = 0;

    InstrumentIdentity identity;
    std::string SerialText;

    // Journal of instrument-changing runs: workDir/journal.csv unless set.
    std::filesystem::path journalPath;
    // What the running command has done so far; written to the journal at its end.
    RunRecord run;
    // Id of the journaled run in progress; empty when the command is not journaled.
    std::string journalRunId;
};

}  // namespace zentor
