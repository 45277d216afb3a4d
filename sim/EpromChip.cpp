#include "sim/EpromChip.h"

namespace tesmar::sim {

namespace {

// Takes the program data: every byte is burnt into the next cell and
// acknowledged. A byte that does not read back ends the stream; the rest of
// the block already on its way is thrown away rather than read as frames.
class EpromProgramSink : public ByteSink {
public:
    explicit EpromProgramSink(std::shared_ptr<Chip> chip) : chip_(std::move(chip)) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> acks;
        acks.reserve(bytes.size());
        std::size_t i = 0;
        for (; i < bytes.size() && !done(); ++i) {
            std::uint8_t want = bytes[i];
            std::uint8_t got = chip_->program(next_, want, ctx.faults().stuckOnesAt(std::uint32_t(next_)));
            ++next_;
            if (got == want) {
                acks.push_back('D');
                continue;
            }
            acks.insert(acks.end(), {kEpromProgramFailure, want, got});
            failed_ = true;
            i = bytes.size();
            break;
        }
        ctx.reply(acks);
        return i;
    }
    bool done() const override { return failed_ || next_ >= chip_->size(); }
    std::string what() const override { return "EPROM program stream"; }

private:
    std::shared_ptr<Chip> chip_;
    std::size_t next_ = 0;
    bool failed_ = false;
};

}  // namespace

EpromChip::EpromChip(std::size_t size, std::vector<std::uint8_t> erasedPattern, std::vector<std::uint8_t> signature,
                     bool uvErasable)
    : Chip(size, std::move(erasedPattern), std::move(signature)), uvErasable_(uvErasable) {}

std::shared_ptr<EpromChip> EpromChip::blankFor(const tesmar::DeviceRecord& rec) {
    std::vector<std::uint8_t> erased{rec.BlankByte};
    // A 16-bit part's erased word is stored as the blank byte, then 0xFF.
    if (rec.FamilyLetter == 'O') erased.push_back(0xFF);
    bool erasable = (rec.Buttons >> tesmar::BtnErase) & 1;
    return std::make_shared<EpromChip>(std::size_t(rec.LastAddress) + 1, std::move(erased),
                                       std::vector<std::uint8_t>{rec.MakerId, rec.DeviceId}, erasable);
}

bool EpromChip::handleFrame(const Frame& f, FrameContext& ctx) {
    if (f.is('E', 'R', 0, 0)) {
        ctx.startStream(std::make_unique<ChipRangeSource>(shared_from_this(), 0, size()));
        return true;
    }
    if (f.is('E', 'P', 0, 0)) {
        ctx.receive(std::make_unique<EpromProgramSink>(shared_from_this()));
        return true;
    }
    if (f.is("EE00")) {
        if (!uvErasable_ || ctx.faults().eraseFails) {
            ctx.replyWord(Reply::Other, kWordFail);
        } else {
            erase();
            ctx.replyWord(Reply::EraseDone, kWordDone);
        }
        return true;
    }
    if (f.is('E', 'I', 0, 0)) {
        std::vector<std::uint8_t> sig = ctx.faults().signature.value_or(signature());
        sig.resize(2, 0xFF);
        ctx.reply(sig);
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
