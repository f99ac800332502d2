// The process-wide settings, loaded from and saved to the configuration file.
#pragma once

#include <string>

namespace zentor {

struct Settings {
    int TypeController = 4;
    std::string NamePort = "COM3";
    int BaudRate = 9600;
    int PauseRestart = 0;
    int AdrPribor = 1;
    bool ControlWrite = false;
    int DopPause = 300;
    int MaxKolReadings = 2;
    bool ShowStopButton = true;
    int SizeData = 2048;
    std::string HCR0Value = "7D";
    std::string HCR1Value = "A3";
    std::string HCR1FromFile = "A3";
    bool HCR1KeyPresent = false;
    std::string AsmFileName = "1.asm";
};

// Window bounds as stored in the position section.
struct WindowPosition {
    int Left = 0;
    int Top = 0;
    int Width = 394;
    int Height = 358;
};

}  // namespace zentor
