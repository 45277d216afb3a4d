#pragma once
// The 192-byte device record: the same bytes stand in the family data file
// and in memory. Every field is decoded from its fixed offset (little-endian,
// floats IEEE single precision).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tesmar {

constexpr std::size_t kDeviceRecordSize = 192;

struct DeviceRecord {
    std::array<std::uint8_t, kDeviceRecordSize> Raw{};  // the file image

    std::int8_t Algorithm = 0;            // 0x00
    char FamilyLetter = 0;                // 0x01
    std::string Name;                     // 0x02, 20 bytes, NUL-terminated when shorter
    float Vdd = 0, VddMax = 0, VddMin = 0, Vpp = 0;  // 0x16, 0x1A, 0x1E, 0x22
    std::uint32_t LastAddress = 0;        // 0x26
    std::uint16_t PulseWidth = 0;         // 0x2B
    std::uint16_t EraseTime = 0;          // 0x2D
    std::uint8_t FirmwareParam1 = 0;      // 0x2F
    std::array<std::uint8_t, 12> PowerPins{};  // 0x31
    std::int8_t PinCount = 0;             // 0x6A
    std::uint8_t MakerId = 0;             // 0x6B
    std::uint8_t DeviceId = 0;            // 0x6C
    std::uint8_t DeviceId2 = 0;           // 0x6D
    std::uint8_t PageCode = 0;            // 0x6E
    std::uint8_t FirmwareParam2 = 0;      // 0x6F
    std::uint8_t FirmwareParam3 = 0;      // 0x77
    std::uint8_t BlankByte = 0;           // 0x78
    std::uint8_t ProgramParam = 0;        // 0x79
    std::uint16_t DataEepromSize = 0;     // 0x7A
    float EpromVoltage = 0;               // 0x7D
    std::uint8_t ConfigMaskCount = 0;     // 0x97
    std::array<std::uint8_t, 16> ConfigMasks{};  // 0x98
    std::string FpgaFile;                 // 0xA8, 8 bytes
    std::string McuFile;                  // 0xB0, 8 bytes
    std::uint8_t DefaultOptions = 0;      // 0xB8
    std::uint8_t OptionMask = 0;          // 0xBA
    std::uint16_t Buttons = 0;            // 0xBC
    std::uint8_t StepMask = 0;            // 0xBE
    std::uint8_t AdapterCode = 0;         // 0xBF

    // Decodes a record from exactly kDeviceRecordSize bytes.
    static DeviceRecord fromImage(const std::uint8_t* image);

    // 'E'/'F': bytes 0x79-0x7A as one 16-bit value, low byte at 0x79.
    std::uint16_t ProgramParam16() const { return std::uint16_t(Raw[0x79] | (Raw[0x7A] << 8)); }

    bool isPic18() const { return FamilyLetter == 'C' && Algorithm == 18; }
};

// Bits of DeviceRecord::Buttons.
enum ButtonBit : unsigned {
    BtnLoad = 0, BtnSave = 1, BtnEdit = 2, BtnConfig = 3, BtnBlank = 4, BtnRead = 5,
    BtnProg = 6, BtnVerify = 7, BtnErase = 8, BtnOption = 10,
};

}  // namespace tesmar
