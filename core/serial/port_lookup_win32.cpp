// The port lookup on Windows, from the SetupAPI: the devices of the "Ports"
// class, each by its PortName, with the USB identity read from its device
// instance ID or its parent's ("USB\VID_0403&PID_6001\A50285BI").
#include <algorithm>
#include <cctype>
#include <vector>

#include "serial/port_lookup.h"

// After the project headers: <windows.h> defines macros with common names.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <setupapi.h>  // after windows.h, whose types it uses
#include <cfgmgr32.h>
// clang-format on

namespace zentor {
namespace {

// GUID_DEVCLASS_PORTS, spelled out so that no GUID library is needed.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "COM3" for "COM3", "com3" and "\\.\COM3".
std::string ComName(const std::string& name) {
    const std::string prefix = "\\\\.\\";
    return Upper(name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name);
}

// The four hexadecimal digits after `key` ("VID_") in an instance ID, lower case.
std::string IdField(const std::string& id, const char* key) {
    const std::size_t at = Upper(id).find(key);
    if (at == std::string::npos) return {};
    std::string digits = id.substr(at + std::string(key).size(), 4);
    for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return digits;
}

// Reads what the USB instance ID "USB\VID_xxxx&PID_xxxx\SERIAL" tells; false for
// another ID. A last part with "&" is one Windows made up: no serial number.
bool ReadUsbId(const std::string& id, PortDetails& details) {
    if (Upper(id).compare(0, 8, "USB\\VID_") != 0) return false;
    details.usb = true;
    details.vendorId = IdField(id, "VID_");
    details.productId = IdField(id, "PID_");
    const std::size_t last = id.rfind('\\');
    const std::string tail = id.substr(last + 1);
    if (last > 4 && tail.find('&') == std::string::npos) details.serial = tail;
    return true;
}

std::string RegistryText(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    char buffer[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, nullptr,
                                           reinterpret_cast<PBYTE>(buffer), sizeof buffer - 1,
                                           nullptr))
        return {};
    return buffer;
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string();
}

// Every present COM port with what the SetupAPI tells about it.
std::vector<PortDetails> PresentPorts() {
    std::vector<PortDetails> ports;
    HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        PortDetails d;
        d.device = Upper(PortNameOf(set, info));
        if (d.device.compare(0, 3, "COM") != 0) continue;
        char id[MAX_DEVICE_ID_LEN + 1] = {};
        const bool own =
            SetupDiGetDeviceInstanceIdA(set, &info, id, sizeof id - 1, nullptr) && ReadUsbId(id, d);
        // A function of a composite device, or a vendor bus (FTDIBUS): the USB
        // device is the parent.
        DEVINST parent = 0;
        char parentId[MAX_DEVICE_ID_LEN + 1] = {};
        if ((!own || d.serial.empty()) && CM_Get_Parent(&parent, info.DevInst, 0) == CR_SUCCESS &&
            CM_Get_Device_IDA(parent, parentId, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS) {
            PortDetails fromParent = d;
            if (ReadUsbId(parentId, fromParent) && (!own || !fromParent.serial.empty()))
                d = fromParent;
        }
        if (d.usb) {
            d.manufacturer = RegistryText(set, info, SPDRP_MFG);
            d.product = RegistryText(set, info, SPDRP_DEVICEDESC);
        }
        ports.push_back(std::move(d));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

class SetupApiPortLookup final : public PortLookup {
public:
    std::optional<PortDetails> Describe(const std::string& name) override {
        std::vector<PortDetails> ports = PresentPorts();
        if (const std::optional<std::string> serial = UsbSerialOf(name)) {
            std::optional<PortDetails> only;
            for (PortDetails& d : ports) {
                if (!d.usb || d.serial != *serial) continue;
                if (only) return std::nullopt;
                only = std::move(d);
            }
            return only;
        }
        const std::string com = ComName(name);
        for (PortDetails& d : ports)
            if (d.device == com) return std::move(d);
        return std::nullopt;
    }

    std::vector<std::string> DevicesWithSerial(const std::string& serial) override {
        std::vector<std::string> devices;
        if (serial.empty()) return devices;
        for (const PortDetails& d : PresentPorts())
            if (d.usb && d.serial == serial) devices.push_back(d.device);
        std::sort(devices.begin(), devices.end());
        return devices;
    }
};

}  // namespace

std::unique_ptr<PortLookup> MakeSystemPortLookup(const std::filesystem::path& /*exeDir*/) {
    return std::make_unique<SetupApiPortLookup>();
}

}  // namespace zentor
