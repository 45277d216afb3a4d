#pragma once
// Stand-ins for the programmer's FPGA bitstreams and MCU firmware, and the
// three sound files. The program only uploads the firmware files and plays
// the sounds; their content just has to be stable and of the right size.
#include <cstdint>
#include <string>
#include <vector>

#include "TextInput.h"

namespace gendata {

struct FirmwareFile {
    Location where;
    bool fpga = false;  // usbf/<name>.rbf, else usbm/<name>.bin
    std::string name;
    std::size_t size = 0;
};

constexpr std::size_t kMaxBitstream = 19897;  // the programmer's bitstream length
constexpr std::size_t kMinBitstream = 100;
constexpr std::size_t kMaxFirmware = 8192;

// data/firmware.txt: "fpga <name> <size>" and "mcu <name> <size>" lines.
std::vector<FirmwareFile> readFirmwareList(const std::string& path);

// Deterministic pseudo-random bytes seeded by the file name.
std::vector<std::uint8_t> standInContent(const std::string& name, std::size_t size);

// A short PCM tone sequence: 16-bit mono, 22050 Hz. Each note is a frequency
// in Hz and a length in milliseconds; a frequency of 0 is silence.
struct Note {
    double hz;
    int ms;
};
std::vector<std::uint8_t> waveFile(const std::vector<Note>& notes);

}  // namespace gendata
