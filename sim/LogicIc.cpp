#include "sim/LogicIc.h"

namespace tesmar::sim {

namespace {

// More steps than any of the modelled parts needs to settle; a part that
// still changes afterwards oscillates, and its pins read as they are then.
constexpr int kMaxSettleSteps = 16;

}  // namespace

LogicIc::LogicIc(std::string name, int pinCount, int groundPin, int supplyPin)
    : Chip(0, {0xFF}, {}),
      name_(std::move(name)),
      pinCount_(pinCount),
      groundPin_(groundPin),
      supplyPin_(supplyPin),
      before_(std::size_t(pinCount), false),
      outputs_(std::size_t(pinCount)) {}

int LogicIc::socketPin(int pin) const {
    if (pin < 1 || pin > pinCount_) return 0;
    return pin <= pinCount_ / 2 ? pin : pin + 40 - pinCount_;
}

int LogicIc::pinAtSocket(int socketPin) const {
    if (socketPin >= 1 && socketPin <= pinCount_ / 2) return socketPin;
    int pin = socketPin - 40 + pinCount_;
    if (socketPin <= 40 && pin > pinCount_ / 2) return pin;
    return 0;
}

void LogicIc::stickPin(int pin, bool high) {
    stuck_[pin] = high;
}

void LogicIc::shortInput(int pin) {
    shorted_.insert(pin);
}

void LogicIc::clearFaults() {
    stuck_.clear();
    shorted_.clear();
}

void LogicIc::powerDown() {
    powered_ = false;
    outputs_.assign(outputs_.size(), std::nullopt);
}

std::vector<bool> LogicIc::resolve(const std::vector<std::optional<bool>>& drive) const {
    std::vector<bool> level(std::size_t(pinCount_), false);
    for (int pin = 1; pin <= pinCount_; ++pin) {
        std::size_t i = std::size_t(pin - 1);
        // The tester's drivers are stronger than the part's outputs; a pin
        // nobody drives is pulled low by the tester.
        bool v = false;
        if (i < drive.size() && drive[i]) v = *drive[i];
        else if (outputs_[i]) v = *outputs_[i];
        if (shorted_.count(pin)) v = !v;
        if (auto s = stuck_.find(pin); s != stuck_.end()) v = s->second;
        level[i] = v;
    }
    return level;
}

std::vector<bool> LogicIc::settle(const std::vector<std::optional<bool>>& drive, bool powered) {
    if (!powered) {
        if (powered_) powerDown();
        return resolve(drive);
    }
    if (!powered_) {
        // Power-up: fresh state, and the levels already on the pins are no edges.
        powered_ = true;
        outputs_.assign(outputs_.size(), std::nullopt);
        reset();
        before_ = resolve(drive);
    }
    std::vector<bool> level = resolve(drive);
    for (int step = 0; step < kMaxSettleSteps; ++step) {
        std::vector<std::optional<bool>> out(outputs_.size());
        Pins pins(level, before_, out);
        evaluate(pins);
        before_ = level;
        bool changed = out != outputs_;
        outputs_ = std::move(out);
        if (!changed) break;
        level = resolve(drive);
    }
    return level;
}

}  // namespace tesmar::sim
