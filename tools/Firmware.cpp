#include "Firmware.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace gendata {

std::vector<FirmwareFile> readFirmwareList(const std::string& path) {
    std::vector<FirmwareFile> files;
    for (const Line& line : readLines(path)) {
        const std::string& kind = line.tokens[0];
        if (line.indented || (kind != "fpga" && kind != "mcu") || line.tokens.size() != 3)
            line.where.fail("expected \"fpga <name> <size>\" or \"mcu <name> <size>\"");
        FirmwareFile f;
        f.where = line.where;
        f.fpga = kind == "fpga";
        f.name = line.tokens[1];
        bool plain = !f.name.empty() && f.name.size() <= 8;
        for (char c : f.name)
            plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-');
        if (!plain) line.where.fail("\"" + f.name + "\" is not a plain file base name");
        f.size = f.fpga ? std::size_t(parseInteger(line.where, "size", line.tokens[2], kMinBitstream, kMaxBitstream))
                        : std::size_t(parseInteger(line.where, "size", line.tokens[2], 1, kMaxFirmware));
        for (const auto& other : files)
            if (other.fpga == f.fpga && other.name == f.name) line.where.fail("\"" + f.name + "\" is listed twice");
        files.push_back(f);
    }
    return files;
}

std::vector<std::uint8_t> standInContent(const std::string& name, std::size_t size) {
    // FNV-1a of the name seeds a xorshift generator.
    std::uint64_t x = 0xcbf29ce484222325ull;
    for (unsigned char c : name) x = (x ^ c) * 0x100000001b3ull;
    if (x == 0) x = 1;
    std::vector<std::uint8_t> out(size);
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = std::uint8_t(x >> 24);
    }
    return out;
}

namespace {

void le(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

void tag(std::vector<std::uint8_t>& out, const char* t) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(t[i]));
}

}  // namespace

std::vector<std::uint8_t> waveFile(const std::vector<Note>& notes) {
    constexpr std::uint32_t rate = 22050;
    std::vector<std::int16_t> samples;
    for (const Note& n : notes) {
        const int count = int(rate) * n.ms / 1000;
        for (int i = 0; i < count; ++i) {
            // A short fade in and out keeps the notes free of clicks.
            const double t = double(i) / rate;
            const double edge = std::min({1.0, i / 200.0, (count - i) / 200.0});
            const double v = n.hz > 0 ? std::sin(2 * std::numbers::pi * n.hz * t) * edge * 0.6 : 0.0;
            samples.push_back(std::int16_t(std::lround(v * 32767)));
        }
    }
    const std::uint32_t dataBytes = std::uint32_t(samples.size() * 2);
    std::vector<std::uint8_t> out;
    tag(out, "RIFF");
    le(out, 36 + dataBytes, 4);
    tag(out, "WAVE");
    tag(out, "fmt ");
    le(out, 16, 4);        // chunk size
    le(out, 1, 2);         // PCM
    le(out, 1, 2);         // mono
    le(out, rate, 4);
    le(out, rate * 2, 4);  // bytes per second
    le(out, 2, 2);         // block align
    le(out, 16, 2);        // bits per sample
    tag(out, "data");
    le(out, dataBytes, 4);
    for (std::int16_t s : samples) le(out, std::uint16_t(s), 2);
    return out;
}

}  // namespace gendata
