// The instrument commands of the factory face. Each returns true on success
// (the GUI ignores it, the CLI maps it to its exit status).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/image_file.h"
#include "station/job.h"

namespace zentor {

// DATA FLASH pages move through SRAM page 3 in pages of this size.
inline constexpr int kPageSize = 256;

// An address outside 1..63 would put kind bits into the address byte of every
// frame: the line the commands log instead of sending anything, or nullopt.
std::optional<std::string> AddressRefusal(int address);
// Clears the log and logs the address refusal, if any; true when commands may send.
bool AddressUsable(Job& s);
// A DATA FLASH read size the images and one-byte page numbers cannot hold
// (outside 0..65536, or not whole 256-byte pages): the refusal line, or nullopt.
std::optional<std::string> DataSizeRefusal(int size);

struct DataReadOptions {
    bool restartAfterwards = true;  // Restart once the image is saved
    // Readings that must agree, at least; MaxKolReadings when it asks for more.
    int minReadings = 1;
};

// Reads the DATA FLASH (repeated readings until they agree) and saves it as
// data_rd.bin; then restarts the instrument if asked to. The image read, or
// nullopt when the read was refused, stopped or failed, the file not saved, or
// the restart failed.
std::optional<std::vector<std::uint8_t>> ReadDataFlash(Job& s, const DataReadOptions& options);
// "Чтение данных": ReadDataFlash with a restart afterwards.
bool ReadData(Job& s);
// Writes data.bin into the DATA FLASH page by page, then restarts at once.
bool WriteData(Job& s);

// The two halves the commands above share with verification and restore. Neither
// clears the log nor checks the address.
// The DATA FLASH's first `size` bytes (whole pages) with the repeated readings of
// the data read, into `image`; no file, no restart. False on a failed exchange or
// a Stop (*stopped tells which; the stop button, shown when configured, is hidden
// then; on success the caller hides it). At least minReadings readings must agree
// (MaxKolReadings when it asks for more).
bool ReadDataFlashImage(Job& s, int size, std::vector<std::uint8_t>& image, bool* stopped = nullptr,
                        int minReadings = 1);
// The data write from version probe to restart, for an image already in memory
// (at most 65536 bytes; whole pages only, the rest ignored).
bool WriteDataFlashImage(Job& s, const std::vector<std::uint8_t>& image);
// Countdown of PauseRestart seconds (one log line replaced each second), then restart.
bool Restart(Job& s);
// Register 0xFD := 0xAF, then 0xFF := 0x0B.
bool EnterBootRom(Job& s);
// Asks a running data read to stop.
void RequestStop(Controls& s);

}  // namespace zentor
