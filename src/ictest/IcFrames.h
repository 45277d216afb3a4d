#pragma once
// The tester's frames. Pin p of an IC is bit (p - 1) mod N of byte
// (p - 1) div N of a mask, with N = 7 for 14-pin ICs (so pin 8 opens the
// second byte) and 8 otherwise; 14- and 16-pin ICs use two mask bytes,
// 18-, 20- and 24-pin ICs three.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tesmar::ictest {

// The pin counts the tester has a bitstream and frames for.
bool isTesterPinCount(int pins);
int maskBytes(int pins);      // 2 or 3
int replyLength(int pins);    // the level reply: 2 or 3 bytes
int levelFrameLength(int pins);  // 6 or 5

// A stored pin number moved to the 40-pin socket: with k = (40 - pins) / 2,
// pins 1..20 move down by k, the others up by k (8-bit arithmetic).
std::uint8_t socketPin(std::uint8_t pin, int pins);
// The supply driver for a socket pin: 1 -> 1, 2 -> 2, 10 -> 3, 11 -> 4,
// 32 -> 5, 35 -> 6, 36 -> 7, 40 -> 8; any other pin is sent as it is.
std::uint8_t supplyDriverCode(std::uint8_t socketPin);

// The ground and supply bytes every tester frame carries for an IC entry.
struct IcPower {
    std::uint8_t ground = 0;      // socket pin
    std::uint8_t supplyCode = 0;  // driver code
};
// Only the low six bits of the stored supply byte are a pin number.
IcPower icPower(std::uint8_t storedGround, std::uint8_t storedSupply, int pins);

// 'E', 'S', ground, supply code.
std::array<std::uint8_t, 4> icOpenFrame(const IcPower& p);
// 'E', 'F', 0, 0.
std::array<std::uint8_t, 4> icCloseFrame();
// 'E', pins, ground, supply code, the direction mask ('0' '1' 'X' 'V' 'G'),
// then the clock mask ('C' 'c' 'K'): 8 or 10 bytes. `line` holds `pins` characters.
std::vector<std::uint8_t> icDirectionFrame(const std::uint8_t* line, int pins, const IcPower& p);
// The level bytes ('1' and 'V' high), the C/K pair and, for 14 and 16 pins,
// the c pair. 'C' and 'c' set their pair to 0, 1; each 'K' doubles the
// clock count of the attempt (kept from line to line) and puts it into the
// C/K pair, high byte first.
std::vector<std::uint8_t> icLevelFrame(const std::uint8_t* line, int pins, std::uint16_t& clockCount);
// What the IC answered, written as a vector line: for 'H'/'L' pins 'H' or
// 'L', for '1'/'0' pins '1' or '0' from the reply bit; every other character
// is copied. `reply` holds replyLength(pins) bytes.
std::string icResultLine(const std::uint8_t* line, int pins, const std::uint8_t* reply);
// The first pin position where the result differs from the line, or -1.
int firstMismatch(const std::uint8_t* line, const std::string& result);

}  // namespace tesmar::ictest
