#include "sim/PicCommon.h"

#include <algorithm>
#include <cstdio>

namespace tesmar::sim {

namespace {

class PicWordSink : public ByteSink {
public:
    PicWordSink(std::function<void(std::uint8_t)> note, PicWordWriter write, std::size_t total,
                std::size_t block, std::string what)
        : note_(std::move(note)), write_(std::move(write)), what_(std::move(what)), total_(total), limit_(total),
          block_(std::max<std::size_t>(block, 1)) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> out;
        std::size_t i = 0;
        for (; i < bytes.size() && taken_ < limit_; ++i) {
            note_(bytes[i]);
            ++taken_;
            if (failed_) continue;
            word_[fill_++] = bytes[i];
            if (fill_ < 2 && taken_ < total_) continue;
            // A final odd byte stands for a word whose second byte is erased.
            std::uint8_t b0 = word_[0], b1 = fill_ == 2 ? word_[1] : 0xFF;
            fill_ = 0;
            auto result = write_((taken_ - 1) & ~std::size_t(1), b0, b1, ctx.faults());
            if (result.kind == PicWordResult::Kind::Skipped) continue;
            if (result.kind == PicWordResult::Kind::Good) {
                out.insert(out.end(), kPicWordAck.begin(), kPicWordAck.end());
                continue;
            }
            out.insert(out.end(), kPicWordFailure.begin(), kPicWordFailure.end());
            out.insert(out.end(), result.report.begin(), result.report.end());
            failed_ = true;
            limit_ = std::min(total_, (taken_ + block_ - 1) / block_ * block_);
        }
        acks_.send(out, ctx);
        return i;
    }
    bool done() const override { return taken_ >= limit_; }
    std::string what() const override { return what_; }

private:
    std::function<void(std::uint8_t)> note_;
    PicWordWriter write_;
    std::string what_;
    std::size_t total_, limit_, block_;
    std::size_t taken_ = 0;
    std::array<std::uint8_t, 2> word_{};
    std::size_t fill_ = 0;
    bool failed_ = false;
    AckPacer acks_;
};

// A read stream that goes quiet after limit bytes and never ends by itself.
class StallingSource : public ByteSource {
public:
    StallingSource(std::vector<std::uint8_t> bytes, std::size_t limit)
        : bytes_(std::move(bytes)), limit_(std::min(limit, bytes_.size())) {}
    std::size_t produce(std::span<std::uint8_t> out) override {
        std::size_t n = std::min(out.size(), limit_ - pos_);
        std::copy_n(bytes_.begin() + std::ptrdiff_t(pos_), n, out.begin());
        pos_ += n;
        return n;
    }
    bool finished() const override { return false; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t limit_, pos_ = 0;
};

}  // namespace

PicConfigRules::PicConfigRules(std::vector<std::uint8_t> implemented, std::vector<std::uint8_t> erased,
                               std::vector<std::uint8_t> codeProtection, std::vector<std::uint8_t> dataProtection)
    : implemented_(std::move(implemented)), erased_(std::move(erased)), code_(std::move(codeProtection)),
      data_(std::move(dataProtection)) {
    // Only bits that exist can protect.
    for (std::size_t i = 0; i < code_.size(); ++i) code_[i] &= this->implemented(i);
    for (std::size_t i = 0; i < data_.size(); ++i) data_[i] &= this->implemented(i);
}

std::uint8_t PicConfigRules::write(std::size_t i, std::uint8_t old, std::uint8_t value, bool flash,
                                   std::uint8_t stuckOnes, std::uint8_t stuckZeros) const {
    const std::uint8_t clearOnly = flash ? std::uint8_t(codeProtection(i) | dataProtection(i)) : 0xFF;
    std::uint8_t v = std::uint8_t((value & ~clearOnly) | (old & value & clearOnly));
    v = settle(i, v);
    return std::uint8_t((v | stuckOnes) & ~stuckZeros);
}

bool PicConfigRules::anyCleared(std::span<const std::uint8_t> cells, const std::vector<std::uint8_t>& bits) {
    for (std::size_t i = 0; i < bits.size() && i < cells.size(); ++i)
        if ((cells[i] & bits[i]) != bits[i]) return true;
    return false;
}

std::vector<std::uint8_t> alternatingBytes(std::size_t n, std::uint8_t first, std::uint8_t second) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = (i % 2 == 0) ? first : second;
    return v;
}

std::optional<std::uint8_t> PicFamilyChip::lastVdd() const {
    if (vdds_.empty()) return std::nullopt;
    return vdds_.back();
}

std::optional<std::uint8_t> PicFamilyChip::lastVpp() const {
    if (vpps_.empty()) return std::nullopt;
    return vpps_.back();
}

void PicFamilyChip::log(const std::string& what, std::uint8_t letter) {
    char text[16];
    if (letter >= 0x21 && letter < 0x7F) std::snprintf(text, sizeof text, " %c", char(letter));
    else std::snprintf(text, sizeof text, " 0x%02X", letter);
    commands_.push_back(what + text);
}

bool PicFamilyChip::acceptProgram(std::size_t area, FrameContext& ctx) {
    const FaultPlan& faults = ctx.faults();
    std::string answer = faults.programSend.value_or(std::string(kWordSend));
    if (area == kPicConfigArea && faults.picConfigSend) answer = *faults.picConfigSend;
    ctx.replyWord(Reply::Other, answer);
    if (faults.word(Reply::Other, answer) != kWordSend) return false;
    lastProgram_.at(area).clear();
    return true;
}

void PicFamilyChip::receiveConfig(FrameContext& ctx, std::size_t area, std::size_t count, std::string what,
                                  PicConfigWriter write) {
    auto self = std::static_pointer_cast<PicFamilyChip>(shared_from_this());
    ctx.receive(count, std::move(what),
                [self, area, write = std::move(write)](std::vector<std::uint8_t> data, FrameContext& c) {
                    std::vector<std::uint8_t> acks;
                    for (std::size_t i = 0; i < data.size(); ++i) {
                        self->noteProgramByteAt(area, data[i]);
                        acks.push_back(write(i, data[i], c.faults()) ? kPicConfigAck : kPicConfigFailure);
                    }
                    if (c.faults().picConfigAcks) acks.resize(std::min(acks.size(), *c.faults().picConfigAcks));
                    if (!acks.empty()) c.reply(acks);
                });
}

void PicFamilyChip::receiveWords(FrameContext& ctx, std::size_t area, std::size_t total, std::size_t block,
                                 std::string what, PicWordWriter write) {
    auto self = std::static_pointer_cast<PicFamilyChip>(shared_from_this());
    auto note = [self, area](std::uint8_t b) { self->noteProgramByteAt(area, b); };
    ctx.receive(std::make_unique<PicWordSink>(note, std::move(write), total, block, std::move(what)));
}

std::uint8_t PicFamilyChip::writeConfigCell(std::size_t i, std::uint8_t old, std::uint8_t value, bool flash,
                                            std::uint8_t stuckOnes, const FaultPlan& faults) {
    if (std::uint8_t extra = value & ~rules_.implemented(i)) {
        char text[80];
        std::snprintf(text, sizeof text, "configuration byte %zu: 0x%02X written to unimplemented bits", i, extra);
        configNotes_.push_back(text);
    }
    auto zeros = faults.picConfigStuckZeros.find(i);
    std::uint8_t stuckZeros = zeros == faults.picConfigStuckZeros.end() ? 0 : zeros->second;
    return rules_.write(i, old, value, flash, stuckOnes, stuckZeros);
}

std::uint8_t PicFamilyChip::erasedConfigByte(std::size_t i, const FaultPlan& faults) const {
    auto zeros = faults.picConfigStuckZeros.find(i);
    std::uint8_t stuckZeros = zeros == faults.picConfigStuckZeros.end() ? 0 : zeros->second;
    return std::uint8_t(rules_.erasedByte(i) & ~stuckZeros);
}

void PicFamilyChip::loadInto(std::span<std::uint8_t> area, std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < area.size(); ++i) area[offset + i] = bytes[i];
}

bool PicFamilyChip::handleSharedFrame(const Frame& f, FrameContext& ctx) {
    const FaultPlan& faults = ctx.faults();
    if ((f[0] == 'C' || f[0] == 'P') && f[2] == 'S' && f[3] == 'E') {
        if (f[0] == 'C') {
            vdds_.push_back(f[1]);
            commands_.push_back("Vdd " + std::to_string(f[1]));
        } else {
            vpps_.push_back(f[1]);
            commands_.push_back("Vpp " + std::to_string(f[1]));
        }
        return true;
    }
    if (f[0] == 'E' && f[1] == 'R' && f[3] == 0) {
        auto stream = readStream(f[2]);
        if (!stream) return false;
        log("ER", f[2]);
        if (faults.picConfigStreamStallsAfter) {
            std::size_t configStart = stream->size() - std::min(stream->size(), rules_.size());
            std::size_t limit = configStart + *faults.picConfigStreamStallsAfter;
            ctx.startStream(std::make_unique<StallingSource>(std::move(*stream), limit));
        } else {
            ctx.startStream(std::make_unique<FixedBytesSource>(std::move(*stream)));
        }
        return true;
    }
    if (f.is("EE23")) {
        ++eraseCommands_;
        commands_.push_back("EE23");
        // An EPROM part has no electrical erase: the frame changes nothing.
        if (!erasable()) ctx.note("bulk erase sent to a " + technology() + ", which cannot be erased");
        else if (!faults.eraseFails) bulkErase(faults);
        return true;
    }
    if (f.is("ES23")) {
        if (!hasDataErase()) return false;
        ++dataEraseCommands_;
        commands_.push_back("ES23");
        if (!faults.eraseFails) eraseData();
        return true;
    }
    if (f.is('E', 'I', 0, 0)) {
        commands_.push_back("EI");
        std::vector<std::uint8_t> id = faults.signature.value_or(signature());
        id.resize(2, 0xFF);
        ctx.reply(id);
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
