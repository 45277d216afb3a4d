#pragma once
// The programmer's logic-IC tester firmware. Frames:
//   open       'E', 'S', GND, VC   supply on: ground on socket pin GND, the
//                                  supply driver VC (1..8: socket pin 1, 2, 10,
//                                  11, 32, 35, 36, 40)
//   direction  'E', P, GND, VC, then the direction mask and the clock mask,
//              2 bytes each for P = 14 or 16, 3 bytes each for 18, 20 or 24
//   level      the pin levels (2 or 3 bytes), the C/K pulse count (2 bytes,
//              high byte first) and, for 14 and 16 pins only, the c pulse
//              count (2 bytes); answered by the levels of all P pins
//   close      'E', 'F', 0, 0      supply off
// Pin i (1..P) is bit (i - 1) mod N of byte (i - 1) div N, N = 7 for 14 pins
// and 8 otherwise. The tester seats a P-pin part at the top of the 40-pin
// socket (pin 1 on socket pin 1, pin P on socket pin 40), so a part of another
// size, or a supply on the wrong socket pins, fails its vectors as it would on
// the bench.
//
// Pins in the direction mask are driven to their level bit; the rest are read
// (weak pull-downs). Pins in the clock mask rest low and get the counted
// pulses (low-high-low), first the C/K count, then the c count. The 14- and
// 16-pin sockets have one pulse generator per side: the C/K count clocks the
// clock pins of mask byte 0, the c count those of mask byte 1. The larger
// sockets have the C/K generator only, for every clock pin.
//
// The tester waits for the level frame after a direction frame, unless the
// host goes on with a frame header instead (the memory-IC test sends a
// direction frame on its own); then the wait is dropped.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/Firmware.h"
#include "sim/LogicIc.h"

namespace tesmar::sim {

class LogicIcTester {
public:
    // Frame starts of the tester (GND and VC must be non-zero).
    static bool isTesterFrame(const Frame& f);
    // The socket pin a supply driver code reaches; 0 for none.
    static int supplyDriverPin(std::uint8_t code);

    // Handles a tester frame; `ic` is the part in the socket (null: empty socket).
    void handleFrame(const Frame& f, FrameContext& ctx, std::shared_ptr<LogicIc> ic);

    // After a direction frame the next bytes are its level frame.
    bool awaitingLevels() const { return awaitingLevels_; }
    // Takes a frame's four bytes as the start of the awaited level frame.
    void levelFrameStart(const Frame& f, FrameContext& ctx, std::shared_ptr<LogicIc> ic);
    // The host went on without a level frame (the memory-IC test sends a lone
    // direction frame).
    void abandonLevels() { awaitingLevels_ = false; }

    bool isOpen() const { return open_; }

private:
    std::size_t maskBytes() const { return pinCount_ <= 16 ? 2 : 3; }
    std::size_t levelFrameBytes() const { return pinCount_ <= 16 ? 6 : 5; }
    int bitsPerByte() const { return pinCount_ == 14 ? 7 : 8; }
    bool bit(const std::array<std::uint8_t, 3>& mask, int pin) const;
    int socketOf(int pin) const;
    bool powered(const LogicIc& ic) const;
    void checkUnusedBits(const std::array<std::uint8_t, 3>& mask, const char* what, FrameContext& ctx) const;
    std::vector<std::uint8_t> runLevels(const std::vector<std::uint8_t>& frame, FrameContext& ctx, LogicIc* ic);

    bool open_ = false;
    bool awaitingLevels_ = false;
    std::uint8_t gnd_ = 0, vc_ = 0;
    int pinCount_ = 0;
    std::array<std::uint8_t, 3> direction_{}, clocks_{};
};

}  // namespace tesmar::sim
