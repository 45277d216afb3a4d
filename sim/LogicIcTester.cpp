#include "sim/LogicIcTester.h"

#include <string>

namespace tesmar::sim {

namespace {

constexpr int kSocketPins = 40;

bool isPinCount(std::uint8_t p) {
    return p == 14 || p == 16 || p == 18 || p == 20 || p == 24;
}

// Socket levels, index 1..40 (index 0 unused).
using SocketLevels = std::array<bool, kSocketPins + 1>;
using SocketDrive = std::array<std::optional<bool>, kSocketPins + 1>;

}  // namespace

bool LogicIcTester::isTesterFrame(const Frame& f) {
    if (f[0] != 'E') return false;
    if (f[1] == 'F') return f[2] == 0 && f[3] == 0;
    return (f[1] == 'S' || isPinCount(f[1])) && f[2] != 0 && f[3] != 0;
}

int LogicIcTester::supplyDriverPin(std::uint8_t code) {
    static constexpr std::array<int, 9> pins{0, 1, 2, 10, 11, 32, 35, 36, 40};
    return code < pins.size() ? pins[code] : 0;
}

bool LogicIcTester::bit(const std::array<std::uint8_t, 3>& mask, int pin) const {
    int n = bitsPerByte();
    std::size_t byte = std::size_t((pin - 1) / n);
    return byte < mask.size() && (mask[byte] >> ((pin - 1) % n)) & 1;
}

int LogicIcTester::socketOf(int pin) const {
    return pin <= pinCount_ / 2 ? pin : pin + kSocketPins - pinCount_;
}

bool LogicIcTester::powered(const LogicIc& ic) const {
    return open_ && gnd_ == ic.socketPin(ic.groundPin()) && supplyDriverPin(vc_) == ic.socketPin(ic.supplyPin());
}

void LogicIcTester::checkUnusedBits(const std::array<std::uint8_t, 3>& mask, const char* what,
                                    FrameContext& ctx) const {
    int n = bitsPerByte();
    for (std::size_t byte = 0; byte < maskBytes(); ++byte)
        for (int b = 0; b < 8; ++b) {
            int pin = int(byte) * n + b + 1;
            if ((mask[byte] >> b & 1) && (b >= n || pin > pinCount_)) {
                ctx.note(std::string("IC tester ") + what + " byte " + std::to_string(byte) + " sets bit " +
                         std::to_string(b) + ", which is no pin of a " + std::to_string(pinCount_) + "-pin part");
                return;
            }
        }
}

void LogicIcTester::handleFrame(const Frame& f, FrameContext& ctx, std::shared_ptr<LogicIc> ic) {
    if (f[1] == 'F') {
        open_ = false;
        if (ic) ic->powerDown();
        return;
    }
    gnd_ = f[2];
    vc_ = f[3];
    if (f[1] == 'S') {
        open_ = true;
        return;
    }
    // A direction frame on a closed tester is no fault (the memory-IC test
    // sends one on its own); the part just stays without supply.
    pinCount_ = f[1];
    ctx.receive(2 * maskBytes(), "IC tester direction frame", [this](std::vector<std::uint8_t> masks, FrameContext& c) {
        direction_ = {};
        clocks_ = {};
        std::size_t n = maskBytes();
        for (std::size_t i = 0; i < n; ++i) {
            direction_[i] = masks[i];
            clocks_[i] = masks[n + i];
        }
        checkUnusedBits(direction_, "direction mask", c);
        checkUnusedBits(clocks_, "clock mask", c);
        awaitingLevels_ = true;
    });
}

void LogicIcTester::levelFrameStart(const Frame& f, FrameContext& ctx, std::shared_ptr<LogicIc> ic) {
    awaitingLevels_ = false;
    std::vector<std::uint8_t> head(f.bytes.begin(), f.bytes.end());
    const std::size_t rest = levelFrameBytes() - head.size();
    ctx.receive(rest, "IC tester level frame",
                [this, head = std::move(head), ic = std::move(ic)](std::vector<std::uint8_t> rest,
                                                                   FrameContext& c) mutable {
                    head.insert(head.end(), rest.begin(), rest.end());
                    c.reply(runLevels(head, c, ic.get()));
                });
}

std::vector<std::uint8_t> LogicIcTester::runLevels(const std::vector<std::uint8_t>& frame, FrameContext& ctx,
                                                   LogicIc* ic) {
    const std::size_t mb = maskBytes();
    std::array<std::uint8_t, 3> levels{};
    for (std::size_t i = 0; i < mb; ++i) levels[i] = frame[i];
    checkUnusedBits(levels, "level frame", ctx);
    const unsigned pulsesC = unsigned(frame[mb]) << 8 | frame[mb + 1];
    const unsigned pulsesSecond = mb == 2 ? (unsigned(frame[4]) << 8 | frame[5]) : 0;

    SocketDrive drive{};
    std::vector<int> clockPins[2];
    for (int pin = 1; pin <= pinCount_; ++pin) {
        int s = socketOf(pin);
        if (bit(clocks_, pin)) {
            drive[std::size_t(s)] = false;
            bool secondSide = mb == 2 && (pin - 1) / bitsPerByte() == 1;
            clockPins[secondSide ? 1 : 0].push_back(s);
        } else if (bit(direction_, pin)) {
            drive[std::size_t(s)] = bit(levels, pin);
        }
    }
    if (open_) {
        if (gnd_ >= 1 && gnd_ <= kSocketPins) drive[gnd_] = false;
        if (int s = supplyDriverPin(vc_)) drive[std::size_t(s)] = true;
    }

    const bool on = ic && powered(*ic);
    SocketLevels socket{};
    auto apply = [&] {
        for (int s = 1; s <= kSocketPins; ++s) socket[std::size_t(s)] = drive[std::size_t(s)].value_or(false);
        if (!ic) return;
        std::vector<std::optional<bool>> icDrive(std::size_t(ic->pinCount()));
        for (int p = 1; p <= ic->pinCount(); ++p) icDrive[std::size_t(p - 1)] = drive[std::size_t(ic->socketPin(p))];
        std::vector<bool> icLevels = ic->settle(icDrive, on);
        for (int p = 1; p <= ic->pinCount(); ++p) socket[std::size_t(ic->socketPin(p))] = icLevels[std::size_t(p - 1)];
    };
    auto pulse = [&](const std::vector<int>& pins, unsigned count) {
        if (pins.empty()) return;
        for (unsigned k = 0; k < count; ++k) {
            for (int s : pins) drive[std::size_t(s)] = true;
            apply();
            for (int s : pins) drive[std::size_t(s)] = false;
            apply();
        }
    };
    apply();
    pulse(clockPins[0], pulsesC);
    pulse(clockPins[1], pulsesSecond);

    std::vector<std::uint8_t> reply(mb, 0);
    const int n = bitsPerByte();
    for (int pin = 1; pin <= pinCount_; ++pin)
        if (socket[std::size_t(socketOf(pin))])
            reply[std::size_t((pin - 1) / n)] |= std::uint8_t(1u << ((pin - 1) % n));
    return reply;
}

}  // namespace tesmar::sim
