#pragma once
// The host side of the programmer link: connecting and identifying the
// programmer, the bitstream and firmware uploads, the device parameters and
// the over-current probe. Everything talks through st.usb and reports
// through st.host.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "devices/DeviceRecord.h"

namespace tesmar {

// The 15-byte device-parameter packet: ground pins (bytes 0-4, sorted), Vcc
// and Vpp driver codes (from bytes 5 and 7), the four voltage bytes, the
// family letter and the algorithm.
std::array<std::uint8_t, 15> buildDeviceParameterPacket(const DeviceRecord& d);
// The family's bytes that follow the packet (empty for most families).
std::vector<std::uint8_t> buildFamilyTail(const DeviceRecord& d);
// A voltage as the programmer takes it: volts x factor, fraction dropped,
// held within one byte.
std::uint8_t voltageByte(float volts, int factor);
// A socket pin as the programmer numbers it for a device of `pinCount` pins.
std::uint8_t shiftPin(std::uint8_t pin, std::int8_t pinCount);

// The identify exchange; the first reply byte (2 = ready), 0 without a reply.
std::uint8_t QueryProgrammer(AppState& st);
// Uploads an FPGA bitstream; reports success 8 or error 14.
void SendFpgaFile(AppState& st, const std::string& path);
// Uploads the programmer's firmware; reports success 9 or error 13.
void SendMcuFile(AppState& st, const std::string& path);
// Sends the "V000" frame for the current device; reports success 10.
void SendDeviceParameters(AppState& st);
// True means over-current (or no valid answer): the operation must not run.
bool CheckOverCurrent(AppState& st);

// Opens and identifies the programmer and prints the outcome. `reconnect`
// closes an open port first, pauses 100 ms instead of 1000 ms between
// attempts and skips the reset before the serial-number read.
void ConnectProgrammer(AppState& st, bool reconnect);
// Before the uploads of a device selection: purge both queues and, when that
// fails, open the programmer again. A failed open leaves DEMO mode.
void ReopenForSelection(AppState& st);

}  // namespace tesmar
