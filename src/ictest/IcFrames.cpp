#include "ictest/IcFrames.h"

namespace tesmar::ictest {

namespace {

constexpr std::uint8_t kLead = 'E';
constexpr std::uint8_t kOpen = 'S';
constexpr std::uint8_t kClose = 'F';

struct PinCode {
    std::uint8_t pin, code;
};
constexpr PinCode kSupplyCodes[] = {{1, 1}, {2, 2}, {10, 3}, {11, 4}, {32, 5}, {35, 6}, {36, 7}, {40, 8}};

int bitsPerByte(int pins) { return pins == 14 ? 7 : 8; }

void setPinBit(std::uint8_t* mask, int pin, int pins) {
    const int n = bitsPerByte(pins);
    mask[(pin - 1) / n] |= std::uint8_t(1u << ((pin - 1) % n));
}

bool pinBit(const std::uint8_t* mask, int pin, int pins) {
    const int n = bitsPerByte(pins);
    return (mask[(pin - 1) / n] >> ((pin - 1) % n)) & 1u;
}

bool drivesPin(std::uint8_t c) { return c == '0' || c == '1' || c == 'X' || c == 'V' || c == 'G'; }
bool clocksPin(std::uint8_t c) { return c == 'C' || c == 'c' || c == 'K'; }

}  // namespace

bool isTesterPinCount(int pins) { return pins == 14 || pins == 16 || pins == 18 || pins == 20 || pins == 24; }
int maskBytes(int pins) { return pins <= 16 ? 2 : 3; }
int replyLength(int pins) { return maskBytes(pins); }
int levelFrameLength(int pins) { return pins <= 16 ? 6 : 5; }

std::uint8_t socketPin(std::uint8_t pin, int pins) {
    const int k = (40 - pins) / 2;
    return std::uint8_t(pin <= 20 ? pin - k : pin + k);
}

std::uint8_t supplyDriverCode(std::uint8_t pin) {
    for (const PinCode& pc : kSupplyCodes)
        if (pc.pin == pin) return pc.code;
    return pin;
}

IcPower icPower(std::uint8_t storedGround, std::uint8_t storedSupply, int pins) {
    IcPower p;
    p.ground = socketPin(storedGround, pins);
    p.supplyCode = supplyDriverCode(socketPin(storedSupply & 0x3F, pins) & 0x3F);
    return p;
}

std::array<std::uint8_t, 4> icOpenFrame(const IcPower& p) { return {kLead, kOpen, p.ground, p.supplyCode}; }

std::array<std::uint8_t, 4> icCloseFrame() { return {kLead, kClose, 0, 0}; }

std::vector<std::uint8_t> icDirectionFrame(const std::uint8_t* line, int pins, const IcPower& p) {
    const int n = maskBytes(pins);
    std::vector<std::uint8_t> f(std::size_t(4 + 2 * n), 0);
    f[0] = kLead;
    f[1] = std::uint8_t(pins);
    f[2] = p.ground;
    f[3] = p.supplyCode;
    std::uint8_t* direction = f.data() + 4;
    std::uint8_t* clock = direction + n;
    for (int pin = 1; pin <= pins; ++pin) {
        const std::uint8_t c = line[pin - 1];
        if (drivesPin(c)) setPinBit(direction, pin, pins);
        if (clocksPin(c)) setPinBit(clock, pin, pins);
    }
    return f;
}

std::vector<std::uint8_t> icLevelFrame(const std::uint8_t* line, int pins, std::uint16_t& clockCount) {
    const int n = maskBytes(pins);
    std::vector<std::uint8_t> f(std::size_t(levelFrameLength(pins)), 0);
    std::uint8_t* ck = f.data() + n;                                  // C/K pair
    std::uint8_t* second = pins <= 16 ? f.data() + n + 2 : nullptr;  // c pair (14 and 16 pins only)
    for (int pin = 1; pin <= pins; ++pin) {
        const std::uint8_t c = line[pin - 1];
        if (c == '1' || c == 'V') setPinBit(f.data(), pin, pins);
        if (c == 'C') {
            ck[0] = 0;
            ck[1] = 1;
        } else if (c == 'c' && second) {
            second[0] = 0;
            second[1] = 1;
        } else if (c == 'K') {
            // A long burst stays at the longest count the pair can carry
            // instead of wrapping round to no clock at all.
            if (clockCount < 0x8000) clockCount = std::uint16_t(clockCount * 2);
            ck[0] = std::uint8_t(clockCount >> 8);
            ck[1] = std::uint8_t(clockCount);
        }
    }
    return f;
}

std::string icResultLine(const std::uint8_t* line, int pins, const std::uint8_t* reply) {
    std::string result(std::size_t(pins), ' ');
    for (int pin = 1; pin <= pins; ++pin) {
        const std::uint8_t c = line[pin - 1];
        const bool high = pinBit(reply, pin, pins);
        if (c == 'H' || c == 'L')
            result[std::size_t(pin - 1)] = high ? 'H' : 'L';
        else if (c == '1' || c == '0')
            result[std::size_t(pin - 1)] = high ? '1' : '0';
        else
            result[std::size_t(pin - 1)] = char(c);
    }
    return result;
}

int firstMismatch(const std::uint8_t* line, const std::string& result) {
    for (std::size_t i = 0; i < result.size(); ++i)
        if (std::uint8_t(result[i]) != line[i]) return int(i);
    return -1;
}

}  // namespace tesmar::ictest
