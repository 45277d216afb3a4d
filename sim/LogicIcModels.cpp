// The logic ICs the simulated tester knows, each by its function and pinout.
#include <algorithm>
#include <array>
#include <cctype>
#include <functional>

#include "sim/LogicIc.h"

namespace tesmar::sim {

namespace {

using Pins = LogicIc::Pins;

// A part without state: its outputs follow from its inputs alone.
class CombinationalIc : public LogicIc {
public:
    using Logic = std::function<void(Pins&)>;
    CombinationalIc(std::string name, int pins, int ground, int supply, Logic logic)
        : LogicIc(std::move(name), pins, ground, supply), logic_(std::move(logic)) {}

protected:
    void evaluate(Pins& p) override { logic_(p); }

private:
    Logic logic_;
};

struct Gate {
    int out, a, b;  // b = 0 for a one-input gate
};

std::shared_ptr<LogicIc> gates(std::string name, std::vector<Gate> list, std::function<bool(bool, bool)> fn) {
    return std::make_shared<CombinationalIc>(std::move(name), 14, 7, 14, [list, fn](Pins& p) {
        for (const Gate& g : list) p.out(g.out, fn(p[g.a], g.b ? p[g.b] : false));
    });
}

// The usual quad two-input gate pinout (7400, 7408, 7432, 7486).
const std::vector<Gate> kQuadGates{{3, 1, 2}, {6, 4, 5}, {8, 9, 10}, {11, 12, 13}};
// The 7402 puts its outputs first.
const std::vector<Gate> kQuadNor{{1, 2, 3}, {4, 5, 6}, {10, 8, 9}, {13, 11, 12}};
const std::vector<Gate> kHexInverters{{2, 1, 0}, {4, 3, 0}, {6, 5, 0}, {8, 9, 0}, {10, 11, 0}, {12, 13, 0}};

// Our 18-pin octal inverter: inputs on pins 1-8, the output of input i on pin 18 - i.
std::shared_ptr<LogicIc> octalInverter18() {
    return std::make_shared<CombinationalIc>("74HC918", 18, 9, 18, [](Pins& p) {
        for (int i = 1; i <= 8; ++i) p.out(18 - i, !p[i]);
    });
}

// 3-to-8 decoder: select A, B, C on pins 1-3, enables G2A/G2B (low) on 4-5 and G1 on 6;
// Y0-Y6 on pins 15-9, Y7 on pin 7, all active low.
std::shared_ptr<LogicIc> decoder138() {
    return std::make_shared<CombinationalIc>("74138", 16, 8, 16, [](Pins& p) {
        static constexpr std::array<int, 8> y{15, 14, 13, 12, 11, 10, 9, 7};
        bool enabled = p[6] && !p[4] && !p[5];
        int sel = int(p[1]) | int(p[2]) << 1 | int(p[3]) << 2;
        for (int i = 0; i < 8; ++i) p.out(y[std::size_t(i)], !(enabled && sel == i));
    });
}

// 4-to-16 decoder: Y0-Y10 on pins 1-11, Y11-Y15 on 13-17 (active low);
// enables G1, G2 (low) on 18-19; select D, C, B, A on pins 20-23.
std::shared_ptr<LogicIc> decoder154() {
    return std::make_shared<CombinationalIc>("74154", 24, 12, 24, [](Pins& p) {
        bool enabled = !p[18] && !p[19];
        int sel = int(p[23]) | int(p[22]) << 1 | int(p[21]) << 2 | int(p[20]) << 3;
        for (int i = 0; i < 16; ++i) p.out(i < 11 ? i + 1 : i + 2, !(enabled && sel == i));
    });
}

// Quad 2-to-1 multiplexer: select on pin 1, strobe (low) on pin 15; per
// section the A input, the B input and the output. The strobe forces the
// outputs low (high on the inverting 74158).
std::shared_ptr<LogicIc> mux157(std::string name, bool inverting) {
    return std::make_shared<CombinationalIc>(std::move(name), 16, 8, 16, [inverting](Pins& p) {
        static constexpr std::array<std::array<int, 3>, 4> sections{{{2, 3, 4}, {5, 6, 7}, {11, 10, 9}, {14, 13, 12}}};
        for (const auto& s : sections) {
            bool y = !p[15] && (p[1] ? p[s[1]] : p[s[0]]);
            p.out(s[2], y != inverting);
        }
    });
}

// Octal buffer in two groups of four, each with its own enable (low):
// group 1 enable pin 1, A 2/4/6/8 to Y 18/16/14/12; group 2 enable pin 19,
// A 11/13/15/17 to Y 9/7/5/3. Disabled outputs float.
std::shared_ptr<LogicIc> buffer244(std::string name, bool inverting) {
    return std::make_shared<CombinationalIc>(std::move(name), 20, 10, 20, [inverting](Pins& p) {
        for (int i = 0; i < 4; ++i) {
            if (!p[1]) p.out(18 - 2 * i, p[2 + 2 * i] != inverting);
            if (!p[19]) p.out(9 - 2 * i, p[11 + 2 * i] != inverting);
        }
    });
}

// Octal transceiver: direction on pin 1 (high: A to B), enable (low) on pin
// 19; A1-A8 on pins 2-9, B1-B8 on pins 18-11.
std::shared_ptr<LogicIc> transceiver245() {
    return std::make_shared<CombinationalIc>("74245", 20, 10, 20, [](Pins& p) {
        if (p[19]) return;
        for (int i = 0; i < 8; ++i) {
            int a = 2 + i, b = 18 - i;
            if (p[1]) p.out(b, p[a]);
            else p.out(a, p[b]);
        }
    });
}

// Dual D flip-flop with preset and clear (both low), rising-edge clocks.
class DualDFlipFlop74 : public LogicIc {
public:
    DualDFlipFlop74() : LogicIc("7474", 14, 7, 14) {}

protected:
    struct Half {
        int clear, d, clock, preset, q, notQ;
    };
    static constexpr std::array<Half, 2> kHalves{{{1, 2, 3, 4, 5, 6}, {13, 12, 11, 10, 9, 8}}};

    void reset() override { q_ = {false, false}; }
    void evaluate(Pins& p) override {
        for (std::size_t i = 0; i < 2; ++i) {
            const Half& h = kHalves[i];
            bool clear = !p[h.clear], preset = !p[h.preset];
            if (clear && preset) {
                // Both asynchronous inputs active: both outputs high.
                q_[i] = true;
                p.out(h.q, true);
                p.out(h.notQ, true);
                continue;
            }
            if (clear) q_[i] = false;
            else if (preset) q_[i] = true;
            else if (p.rose(h.clock)) q_[i] = p[h.d];
            p.out(h.q, q_[i]);
            p.out(h.notQ, !q_[i]);
        }
    }

private:
    std::array<bool, 2> q_{};
};

// Octal D register: output enable (low) on pin 1, rising-edge clock on pin
// 11; D on 3/4/7/8/13/14/17/18 to Q on 2/5/6/9/12/15/16/19.
class OctalRegister374 : public LogicIc {
public:
    OctalRegister374() : LogicIc("74374", 20, 10, 20) {}

protected:
    static constexpr std::array<int, 8> kD{3, 4, 7, 8, 13, 14, 17, 18};
    static constexpr std::array<int, 8> kQ{2, 5, 6, 9, 12, 15, 16, 19};

    void reset() override { q_ = {}; }
    void evaluate(Pins& p) override {
        if (p.rose(11))
            for (std::size_t i = 0; i < 8; ++i) q_[i] = p[kD[i]];
        if (p[1]) return;
        for (std::size_t i = 0; i < 8; ++i) p.out(kQ[i], q_[i]);
    }

private:
    std::array<bool, 8> q_{};
};

// Dual 4-bit binary counter: per half the clock (counts on its falling
// edge), the clear (high) and QA-QD.
class DualCounter393 : public LogicIc {
public:
    DualCounter393() : LogicIc("74393", 14, 7, 14) {}

protected:
    struct Half {
        int clock, clear;
        std::array<int, 4> q;
    };
    static constexpr std::array<Half, 2> kHalves{{{1, 2, {3, 4, 5, 6}}, {13, 12, {11, 10, 9, 8}}}};

    void reset() override { count_ = {}; }
    void evaluate(Pins& p) override {
        for (std::size_t i = 0; i < 2; ++i) {
            const Half& h = kHalves[i];
            if (p[h.clear]) count_[i] = 0;
            else if (p.fell(h.clock)) count_[i] = (count_[i] + 1) & 15;
            for (std::size_t b = 0; b < 4; ++b) p.out(h.q[b], (count_[i] >> b) & 1);
        }
    }

private:
    std::array<unsigned, 2> count_{};
};

// 2K x 8 static RAM: A0-A10, D0-D7, chip enable (18), output enable (20)
// and write enable (21), all enables low. Writing takes the data pins while
// chip and write enable are both low.
class StaticRam6116 : public LogicIc {
public:
    StaticRam6116() : LogicIc("6116", 24, 12, 24) {}

protected:
    static constexpr std::array<int, 11> kA{8, 7, 6, 5, 4, 3, 2, 1, 23, 22, 19};
    static constexpr std::array<int, 8> kD{9, 10, 11, 13, 14, 15, 16, 17};

    void reset() override { cells_.assign(2048, 0); }
    void evaluate(Pins& p) override {
        if (p[18]) return;
        std::size_t address = 0;
        for (std::size_t i = 0; i < kA.size(); ++i) address |= std::size_t(p[kA[i]]) << i;
        if (!p[21]) {
            std::uint8_t v = 0;
            for (std::size_t i = 0; i < kD.size(); ++i) v = std::uint8_t(v | int(p[kD[i]]) << i);
            cells_[address] = v;
            return;
        }
        if (p[20]) return;
        for (std::size_t i = 0; i < kD.size(); ++i) p.out(kD[i], (cells_[address] >> i) & 1);
    }

private:
    std::vector<std::uint8_t> cells_ = std::vector<std::uint8_t>(2048, 0);
};

struct Entry {
    const char* name;
    std::function<std::shared_ptr<LogicIc>()> make;
};

const std::vector<Entry>& catalog() {
    static const std::vector<Entry> entries{
        {"7400", [] { return gates("7400", kQuadGates, [](bool a, bool b) { return !(a && b); }); }},
        {"7402", [] { return gates("7402", kQuadNor, [](bool a, bool b) { return !(a || b); }); }},
        {"7404", [] { return gates("7404", kHexInverters, [](bool a, bool) { return !a; }); }},
        {"7408", [] { return gates("7408", kQuadGates, [](bool a, bool b) { return a && b; }); }},
        {"7432", [] { return gates("7432", kQuadGates, [](bool a, bool b) { return a || b; }); }},
        {"7486", [] { return gates("7486", kQuadGates, [](bool a, bool b) { return a != b; }); }},
        {"74HC918", [] { return octalInverter18(); }},
        {"74138", [] { return decoder138(); }},
        {"74154", [] { return decoder154(); }},
        {"74157", [] { return mux157("74157", false); }},
        {"74158", [] { return mux157("74158", true); }},
        {"74244", [] { return buffer244("74244", false); }},
        {"74240", [] { return buffer244("74240", true); }},
        {"74245", [] { return transceiver245(); }},
        {"7474", [] { return std::make_shared<DualDFlipFlop74>(); }},
        {"74374", [] { return std::make_shared<OctalRegister374>(); }},
        {"74393", [] { return std::make_shared<DualCounter393>(); }},
        {"6116", [] { return std::make_shared<StaticRam6116>(); }},
    };
    return entries;
}

bool sameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::shared_ptr<LogicIc> makeLogicIc(const std::string& name) {
    for (const Entry& e : catalog())
        if (sameName(e.name, name)) return e.make();
    return nullptr;
}

std::vector<std::string> logicIcNames() {
    std::vector<std::string> names;
    for (const Entry& e : catalog()) names.emplace_back(e.name);
    return names;
}

}  // namespace tesmar::sim
