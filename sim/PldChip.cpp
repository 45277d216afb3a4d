#include "sim/PldChip.h"

#include <algorithm>
#include <stdexcept>

namespace tesmar::sim {

namespace {

constexpr std::uint8_t kAtmelMaker = 0x1F;
// A PES that the signature check takes from a maker 0x1F part, by reply length.
const std::vector<std::uint8_t> kAtmelPes8{0x8C, 0x62, 0x4C, 0x0C, 0x6A, 0x1C, 0x42, 0x0C};
const std::vector<std::uint8_t> kAtmelPes9{0x30, 0x8C, 0x62, 0x4C, 0x4C, 0x6A, 0x8C, 0x0C, 0x42};

const PldGeometry& geometryOf(int algorithm) {
    const PldGeometry* g = pldGeometry(algorithm);
    if (!g) throw std::invalid_argument("no PLD geometry for algorithm " + std::to_string(algorithm));
    return *g;
}

bool partHasUes(int algorithm, const PldGeometry& g) {
    return g.uesBytes > 0 && algorithm != kPldAlgorithmWithoutUes;
}

std::size_t cellCount(int algorithm, const PldGeometry& g) {
    return std::size_t(g.arrayCells()) + (partHasUes(algorithm, g) ? std::size_t(g.bits) : 0) +
           std::size_t(g.configBits());
}

std::string sizes(int a, int b) { return std::to_string(a) + " x " + std::to_string(b); }

// Takes the array data of a program header, device row after device row, and
// answers each row with its cells as they then read.
class PldArraySink : public ByteSink {
public:
    PldArraySink(std::shared_ptr<PldChip> chip, int rows, int bits, bool powered)
        : chip_(std::move(chip)), bits_(bits), powered_(powered),
          total_(std::size_t(rows) * std::size_t(bits)) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> acks;
        std::size_t i = 0;
        for (; i < bytes.size() && taken_ < total_; ++i, ++taken_) {
            const int r = int(taken_ / std::size_t(bits_)), k = int(taken_ % std::size_t(bits_));
            if (bytes[i] > 1 && !oddByteNoted_) {
                ctx.note("PLD array data byte " + std::to_string(bytes[i]) + " at row " + std::to_string(r) +
                         " cell " + std::to_string(k) + " is not 0 or 1");
                oddByteNoted_ = true;
            }
            const auto cell = chip_->arrayCellIndex(r, k);
            if (powered_) chip_->programCell(cell, bytes[i], ctx.faults());
            row_.push_back(chip_->readCell(cell));
            if (int(row_.size()) == bits_) {
                acks.insert(acks.end(), row_.begin(), row_.end());
                row_.clear();
            }
        }
        acks_.send(acks, ctx);
        return i;
    }
    bool done() const override { return taken_ >= total_; }
    std::string what() const override { return "PLD array program data"; }

private:
    std::shared_ptr<PldChip> chip_;
    int bits_;
    bool powered_;
    std::size_t total_, taken_ = 0;
    std::vector<std::uint8_t> row_;
    bool oddByteNoted_ = false;
    AckPacer acks_;
};

}  // namespace

PldChip::PldChip(int algorithm, std::vector<std::uint8_t> pes)
    : Chip(cellCount(algorithm, geometryOf(algorithm)), {1}, std::move(pes)),
      algorithm_(algorithm),
      geometry_(&geometryOf(algorithm)),
      hasUes_(partHasUes(algorithm, *geometry_)),
      uesBase_(std::size_t(geometry_->arrayCells())),
      configBase_(uesBase_ + (hasUes_ ? std::size_t(geometry_->bits) : 0)) {}

std::vector<std::uint8_t> PldChip::pesFor(const tesmar::DeviceRecord& rec) {
    if (auto stock = stockPldPes(rec.MakerId, rec.Name)) return *stock;
    const PldGeometry* g = pldGeometry(rec.Algorithm);
    const std::size_t length = g ? g->signatureLength() : 8;
    if (rec.MakerId == kAtmelMaker) return length == 8 ? kAtmelPes8 : kAtmelPes9;
    std::vector<std::uint8_t> pes(length, 0);
    pes[2] = rec.DeviceId;
    pes[3] = rec.MakerId;
    return pes;
}

std::shared_ptr<PldChip> PldChip::blankFor(const tesmar::DeviceRecord& rec) {
    if (!pldGeometry(rec.Algorithm)) return nullptr;
    return std::make_shared<PldChip>(rec.Algorithm, pesFor(rec));
}

std::string PldChip::technology() const {
    return isErasable() ? "GAL" : "fuse array";
}

// ---- cells -------------------------------------------------------------------

std::optional<std::size_t> PldChip::arrayCellIndex(int row, int k) const {
    const auto& g = *geometry_;
    if (row < 0 || k < 0 || row >= g.rows || k >= g.bits) return std::nullopt;
    return std::size_t(row) * std::size_t(g.bits) + std::size_t(k);
}

std::optional<std::size_t> PldChip::uesCellIndex(int k) const {
    if (!hasUes_ || k < 0 || k >= geometry_->bits) return std::nullopt;
    return uesBase_ + std::size_t(k);
}

std::optional<std::size_t> PldChip::configCellIndex(int i) const {
    if (i < 0 || i >= geometry_->configBits()) return std::nullopt;
    return configBase_ + std::size_t(i);
}

std::optional<std::uint32_t> PldChip::fuseOfCell(std::size_t cell) const {
    const auto& g = *geometry_;
    if (cell < uesBase_) return std::uint32_t(g.arrayFuse(int(cell / std::size_t(g.bits)), int(cell % std::size_t(g.bits))));
    if (cell < configBase_) {
        const std::size_t k = cell - uesBase_;
        if (k < std::size_t(g.uesBytes) * 8) return std::uint32_t(g.uesFuse) + std::uint32_t(k);
        return std::nullopt;
    }
    const std::size_t i = cell - configBase_;
    if (i < g.configFuses.size()) return std::uint32_t(g.configFuses[i]);
    return std::nullopt;
}

std::uint8_t PldChip::readCell(std::optional<std::size_t> cell) const {
    if (!cell) return 1;
    return secured_ ? 0 : at(*cell);
}

std::uint8_t PldChip::programCell(std::optional<std::size_t> cell, std::uint8_t value, const FaultPlan& faults) {
    if (!cell) return 1;
    std::uint8_t stuck = 0;
    if (auto fuse = fuseOfCell(*cell)) stuck = faults.stuckOnesAt(*fuse) & 1;
    program(*cell, std::uint8_t(value & 1), stuck);
    return readCell(cell);
}

std::uint8_t PldChip::arrayCell(int row, int k) const {
    auto cell = arrayCellIndex(row, k);
    return cell ? at(*cell) : 1;
}

std::uint8_t PldChip::uesCell(int k) const {
    auto cell = uesCellIndex(k);
    return cell ? at(*cell) : 1;
}

std::uint8_t PldChip::configCell(int i) const {
    auto cell = configCellIndex(i);
    return cell ? at(*cell) : 1;
}

std::vector<std::uint8_t> PldChip::fuseMap() const {
    std::vector<std::uint8_t> map(std::size_t(geometry_->fuses), 1);
    for (std::size_t cell = 0; cell < size(); ++cell)
        if (auto fuse = fuseOfCell(cell); fuse && *fuse < map.size()) map[*fuse] = at(cell);
    return map;
}

void PldChip::loadFuseMap(std::span<const std::uint8_t> fuses) {
    for (std::size_t cell = 0; cell < size(); ++cell) {
        auto fuse = fuseOfCell(cell);
        if (!fuse || *fuse >= fuses.size()) continue;
        const std::uint8_t v = fuses[*fuse] & 1;
        load(cell, std::span<const std::uint8_t>(&v, 1));
    }
}

void PldChip::eraseAll() {
    if (!isErasable()) return;
    erase();
    secured_ = false;
    ++erasures_;
}

// ---- frames ------------------------------------------------------------------

bool PldChip::handleFrame(const Frame& f, FrameContext& ctx) {
    if (f[0] != 'E') return false;
    const auto& g = *geometry_;
    switch (f[1]) {
    case 'I': {
        commands_.push_back("EI");
        if (f[2] != std::uint8_t(g.bits / 8) || f[3] != std::uint8_t(g.pesRow))
            ctx.note("PLD signature frame for " + std::to_string(f[2]) + " bytes of row " + std::to_string(f[3]) +
                     "; the part has " + std::to_string(g.bits / 8) + " of row " + std::to_string(g.pesRow));
        if (const auto& wrong = ctx.faults().signature) {
            ctx.reply(*wrong);
            return true;
        }
        std::vector<std::uint8_t> pes = signature();
        pes.resize(g.signatureLength(), 0);
        ctx.reply(pes);
        return true;
    }
    case 'R':
        if (f[2] != 'a' && !(f[2] == 0 && f[3] == 1) && !(f[2] == 'c' && f[3] == 1)) return false;
        readFrame(f, ctx);
        return true;
    case 'E':
        if (f[2] != 'a') return false;
        [[fallthrough]];
    case 'P':
        if (f[2] == 'a') {
            auto self = std::static_pointer_cast<PldChip>(shared_from_this());
            const Frame head = f;
            ctx.receive(8, f[1] == 'P' ? "PLD program header" : "PLD erase header",
                        [self, head](std::vector<std::uint8_t> rest, FrameContext& c) {
                            Header h;
                            std::copy(head.bytes.begin(), head.bytes.end(), h.bytes.begin());
                            std::copy(rest.begin(), rest.end(), h.bytes.begin() + 4);
                            self->takeHeader(h, c);
                        });
            return true;
        }
        if ((f[2] != 'u' && f[2] != 'c') || f[3] != 0) return false;
        programFrame(f, ctx);
        return true;
    case 'S':
        commands_.push_back("ES");
        secures_.push_back({f[2], f[3]});
        if (f[2] == 0) ctx.note("PLD secure frame without a voltage: the part stays open");
        else secured_ = true;
        ctx.replyWord(Reply::Other, kWordDone);
        return true;
    default:
        return false;
    }
}

void PldChip::readFrame(const Frame& f, FrameContext& ctx) {
    const char area = f[2] == 'a' ? 'a' : f[2] == 'c' ? 'c' : 'u';
    commands_.push_back(std::string("ER") + area);
    auto self = std::static_pointer_cast<PldChip>(shared_from_this());
    const std::uint8_t count = f[3];
    ctx.receive(2, "PLD read sizes", [self, area, count](std::vector<std::uint8_t> b, FrameContext& c) {
        const auto& g = self->geometry();
        std::vector<std::uint8_t> out;
        if (area == 'a') {
            if (count != std::uint8_t(g.rows) || b[0] != std::uint8_t(g.bits) || b[1] != 0)
                c.note("PLD array read of " + sizes(count, b[0]) + " (then " + std::to_string(b[1]) +
                       "); the part has " + sizes(g.rows, g.bits));
            for (int r = 0; r < count; ++r)
                for (int k = 0; k < b[0]; ++k) out.push_back(self->readCell(self->arrayCellIndex(r, k)));
        } else if (area == 'u') {
            if (!self->hasUes()) {
                c.note("PLD UES read on a part without a UES row");
                return;
            }
            if (b[0] != std::uint8_t(g.bits) || b[1] != std::uint8_t(g.uesRow))
                c.note("PLD UES read of " + std::to_string(b[0]) + " cells of row " + std::to_string(b[1]) +
                       "; the part has " + std::to_string(g.bits) + " of row " + std::to_string(g.uesRow));
            for (int k = 0; k < b[0]; ++k) out.push_back(self->readCell(self->uesCellIndex(k)));
        } else {
            if (b[0] != std::uint8_t(g.configBits()) || b[1] != std::uint8_t(g.configRow))
                c.note("PLD configuration read of " + std::to_string(b[0]) + " cells of row " +
                       std::to_string(b[1]) + "; the part has " + std::to_string(g.configBits()) + " of row " +
                       std::to_string(g.configRow));
            for (int i = 0; i < b[0]; ++i) out.push_back(self->readCell(self->configCellIndex(i)));
        }
        c.startStream(std::make_unique<FixedBytesSource>(std::move(out)));
    });
}

void PldChip::checkHeader(const Header& h, FrameContext& ctx) const {
    const auto& g = *geometry_;
    struct Field {
        const char* name;
        std::uint8_t got;
        int want;
    };
    const Field fields[] = {{"erase row", h.eraseRow(), g.eraseRow},   {"configuration row", h.configRow(), g.configRow},
                            {"configuration bits", h.configBits(), g.configBits()},
                            {"cells per row", h.bits(), g.bits}, {"rows", h.rows(), g.rows}};
    for (const Field& fl : fields)
        if (fl.got != std::uint8_t(fl.want))
            ctx.note(std::string(h.isProgram() ? "PLD program" : "PLD erase") + " header " + fl.name + " " +
                     std::to_string(fl.got) + "; the part has " + std::to_string(fl.want));
    if (h.vpp() == 0 || h.vcc() == 0)
        ctx.note(std::string(h.isProgram() ? "PLD program" : "PLD erase") + " header with V " +
                 std::to_string(h.vpp()) + " and W " + std::to_string(h.vcc()) + ": no cell changes");
}

bool PldChip::acceptStep(char step, FrameContext& ctx) {
    const auto& plan = ctx.faults().pldProgramSend;
    auto it = plan.find(step);
    const std::string answer = it == plan.end() ? std::string(kWordSend) : it->second;
    ctx.replyWord(Reply::Other, answer);
    return ctx.faults().word(Reply::Other, answer) == kWordSend;
}

void PldChip::takeHeader(const Header& h, FrameContext& ctx) {
    headers_.push_back(h);
    commands_.push_back(h.isProgram() ? "EPa" : "EEa");
    checkHeader(h, ctx);
    const bool powered = h.vpp() != 0 && h.vcc() != 0;
    const bool erases = powered && h.eraseRow() == std::uint8_t(geometry_->eraseRow) && !ctx.faults().eraseFails;
    if (!h.isProgram()) {
        if (ctx.faults().eraseFails) {
            ctx.replyWord(Reply::Other, kWordFail);
            return;
        }
        if (erases) eraseAll();
        ctx.replyWord(Reply::EraseDone, kWordDone);
        return;
    }
    if (!acceptStep('a', ctx)) return;
    lastProgram_ = h;
    if (erases) eraseAll();
    auto self = std::static_pointer_cast<PldChip>(shared_from_this());
    ctx.receive(std::make_unique<PldArraySink>(self, h.rows(), h.bits(), powered));
}

void PldChip::programFrame(const Frame& f, FrameContext& ctx) {
    const char step = char(f[2]);
    commands_.push_back(std::string("EP") + step);
    if (step == 'u' && !hasUes_) {
        ctx.note("PLD UES program frame for a part without a UES row");
        return;
    }
    if (!lastProgram_) ctx.note(std::string("PLD program frame EP") + step + " without a program header before it");
    const auto& g = *geometry_;
    const std::size_t n = lastProgram_ ? (step == 'u' ? lastProgram_->bits() : lastProgram_->configBits())
                                       : std::size_t(step == 'u' ? g.bits : g.configBits());
    const bool powered = lastProgram_ && lastProgram_->vpp() != 0 && lastProgram_->vcc() != 0;
    if (!acceptStep(step, ctx)) return;
    auto self = std::static_pointer_cast<PldChip>(shared_from_this());
    ctx.receive(n, step == 'u' ? "PLD UES program data" : "PLD configuration program data",
                [self, step, powered](std::vector<std::uint8_t> data, FrameContext& c) {
                    std::vector<std::uint8_t> acks;
                    bool noted = false;
                    for (std::size_t i = 0; i < data.size(); ++i) {
                        if (data[i] > 1 && !noted) {
                            c.note(std::string("PLD ") + (step == 'u' ? "UES" : "configuration") + " data byte " +
                                   std::to_string(data[i]) + " at " + std::to_string(i) + " is not 0 or 1");
                            noted = true;
                        }
                        const auto cell = step == 'u' ? self->uesCellIndex(int(i)) : self->configCellIndex(int(i));
                        if (powered) self->programCell(cell, data[i], c.faults());
                        acks.push_back(self->readCell(cell));
                    }
                    AckPacer pacer;
                    pacer.send(acks, c);
                });
}

}  // namespace tesmar::sim
