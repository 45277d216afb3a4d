#pragma once
// Standard logic ICs for the programmer's IC tester, modelled by what they do
// (gates, decoders, buffers, flip-flops, counters, a static RAM), not by the
// test vectors. The tester firmware (LogicIcTester) drives some pins, lets the
// part settle and reads every pin back; a part drives its outputs only while
// it is powered, and forgets its state when the supply goes away.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/Chip.h"

namespace tesmar::sim {

class LogicIc : public Chip {
public:
    LogicIc(std::string name, int pinCount, int groundPin, int supplyPin);

    // The tester firmware talks to the pins; the part itself answers no frame.
    bool handleFrame(const Frame&, FrameContext&) override { return false; }
    std::string technology() const override { return "logic IC"; }

    const std::string& name() const { return name_; }
    int pinCount() const { return pinCount_; }
    int groundPin() const { return groundPin_; }
    int supplyPin() const { return supplyPin_; }

    // The part sits at the top of the 40-pin socket: its pin 1 on socket pin 1,
    // its last pin on socket pin 40. Socket pin of IC pin `pin` (0 when no such pin).
    int socketPin(int pin) const;
    // IC pin on a socket pin, 0 when the part does not reach it.
    int pinAtSocket(int socketPin) const;

    // Faults. A stuck pin reads the given level whatever drives it (and the
    // part sees that level too); a shorted pin reads the opposite of the level
    // it would otherwise have, so a driven input reads back wrong. Set them
    // between operations, as the fault plan.
    void stickPin(int pin, bool high);
    void shortInput(int pin);
    void clearFaults();

    // The tester's side. `drive` holds, per IC pin (index 0 = pin 1), the level
    // the tester forces on it, or nothing for a pin it only reads. The part
    // settles (clock edges against the levels of the previous call) and the
    // level on every pin comes back. An unpowered part drives nothing.
    std::vector<bool> settle(const std::vector<std::optional<bool>>& drive, bool powered);
    // The supply went away: outputs off, state lost.
    void powerDown();

    // What the part's logic sees of its pins during one settling step.
    class Pins {
    public:
        Pins(const std::vector<bool>& now, const std::vector<bool>& before, std::vector<std::optional<bool>>& out)
            : now_(now), before_(before), out_(out) {}
        bool operator[](int pin) const { return valid(pin) && now_[std::size_t(pin - 1)]; }
        bool rose(int pin) const { return valid(pin) && now_[std::size_t(pin - 1)] && !before_[std::size_t(pin - 1)]; }
        bool fell(int pin) const { return valid(pin) && !now_[std::size_t(pin - 1)] && before_[std::size_t(pin - 1)]; }
        // The part drives the pin.
        void out(int pin, bool level) {
            if (valid(pin)) out_[std::size_t(pin - 1)] = level;
        }

    private:
        bool valid(int pin) const { return pin >= 1 && std::size_t(pin) <= now_.size(); }
        const std::vector<bool>& now_;
        const std::vector<bool>& before_;
        std::vector<std::optional<bool>>& out_;
    };

protected:
    // One settling step: drive the outputs from the pin levels (and the state).
    virtual void evaluate(Pins& pins) = 0;
    // Power-up state.
    virtual void reset() {}

private:
    std::vector<bool> resolve(const std::vector<std::optional<bool>>& drive) const;

    std::string name_;
    int pinCount_, groundPin_, supplyPin_;
    std::map<int, bool> stuck_;
    std::set<int> shorted_;
    bool powered_ = false;
    std::vector<bool> before_;                  // pin levels at the previous step
    std::vector<std::optional<bool>> outputs_;  // what the part drives
};

// A good part by name (case does not matter); null for a part without a model.
std::shared_ptr<LogicIc> makeLogicIc(const std::string& name);
// The names makeLogicIc knows.
std::vector<std::string> logicIcNames();

}  // namespace tesmar::sim
