#include "sim/FlashChip.h"

#include <algorithm>
#include <vector>

namespace tesmar::sim {

namespace {

constexpr std::uint8_t kPreEraseMaker = 0x89;
constexpr std::uint8_t kBlockFlagMaker = 0x01;
constexpr std::uint8_t kBlockFlagDevice = 0xA4;
constexpr std::uint8_t kBootBlockPage = 0x83;
constexpr std::size_t kAckGroup = 8;

// Takes the option byte (when the firmware expects one) and then the data:
// every byte is written to the next cell, and every 8 bytes are answered with
// 8 acknowledgement bytes. The last group of an array whose size is not a
// multiple of 8 is padded to 8, since the host reads acknowledgements 8 at a time.
class FlashProgramSink : public ByteSink {
public:
    FlashProgramSink(std::shared_ptr<FlashChip> chip, bool optionByte)
        : chip_(std::move(chip)), awaitingOption_(optionByte) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::size_t i = 0;
        if (awaitingOption_ && i < bytes.size()) {
            chip_->noteOptionByte(bytes[i++]);
            awaitingOption_ = false;
        }
        std::vector<std::uint8_t> acks;
        for (; i < bytes.size() && next_ < chip_->size(); ++i) {
            std::uint8_t want = bytes[i];
            std::uint8_t got = chip_->writeCell(next_, want, ctx.faults().stuckOnesAt(std::uint32_t(next_)));
            ++next_;
            group_.push_back(got == want ? std::uint8_t('D') : kFlashProgramFailure);
            if (group_.size() == kAckGroup || next_ == chip_->size()) {
                group_.resize(kAckGroup, 'D');
                acks.insert(acks.end(), group_.begin(), group_.end());
                group_.clear();
            }
        }
        send(acks, ctx);
        return i;
    }
    bool done() const override { return !awaitingOption_ && next_ >= chip_->size(); }
    std::string what() const override { return "flash program stream"; }

private:
    void send(std::vector<std::uint8_t>& acks, FrameContext& ctx) {
        if (const auto& stall = ctx.faults().acksStallAfter) {
            std::uint64_t room = *stall > acked_ ? *stall - acked_ : 0;
            if (acks.size() > room) acks.resize(std::size_t(room));
        }
        acked_ += acks.size();
        if (!acks.empty()) ctx.reply(acks);
    }

    std::shared_ptr<FlashChip> chip_;
    bool awaitingOption_;
    std::size_t next_ = 0;
    std::uint64_t acked_ = 0;
    std::vector<std::uint8_t> group_;
};

// What a pre-erasing part sends after "EE00": the progress replies (each the
// little-endian address of the 4 bytes being pre-erased), the closing word,
// and for some parts the array's contents. Produced as the host reads, so a
// long erase trickles in like a read stream and can stall like one.
class PreEraseSource : public ByteSource {
public:
    PreEraseSource(std::size_t replies, std::string word, std::shared_ptr<const Chip> contents)
        : progressBytes_(replies * 4), word_(std::move(word)) {
        if (contents) {
            std::size_t n = contents->size();
            contents_ = std::make_unique<ChipRangeSource>(std::move(contents), 0, n);
        }
    }

    std::size_t produce(std::span<std::uint8_t> out) override {
        std::size_t n = 0;
        while (n < out.size() && pos_ < progressBytes_) {
            std::size_t address = pos_ & ~std::size_t(3);
            out[n++] = std::uint8_t(address >> (8 * (pos_ & 3)));
            ++pos_;
        }
        while (n < out.size() && pos_ - progressBytes_ < word_.size()) {
            out[n++] = std::uint8_t(word_[pos_ - progressBytes_]);
            ++pos_;
        }
        if (n < out.size() && contents_) n += contents_->produce(out.subspan(n));
        return n;
    }
    bool finished() const override {
        return pos_ >= progressBytes_ + word_.size() && (!contents_ || contents_->finished());
    }

private:
    std::size_t progressBytes_;
    std::string word_;
    std::unique_ptr<ChipRangeSource> contents_;
    std::size_t pos_ = 0;
};

}  // namespace

bool flashTakesOptionByte(const std::string& mcuFile) {
    if (mcuFile.size() < 4 || mcuFile.compare(0, 4, "Fxxx") != 0) return false;
    char fifth = mcuFile.size() > 4 ? mcuFile[4] : '\0';
    return fifth != 'n' && fifth != 'S' && fifth != 'R' && fifth != 'T';
}

FlashChip::FlashChip(const Params& params)
    : Chip(params.size, std::vector<std::uint8_t>{params.blank}, std::vector<std::uint8_t>{params.maker, params.device}),
      params_(params) {
    setBootBlock(params.size > kFlashBootBlockSize ? params.size - kFlashBootBlockSize : 0, kFlashBootBlockSize);
}

std::shared_ptr<FlashChip> FlashChip::blankFor(const tesmar::DeviceRecord& rec) {
    Params p;
    p.family = rec.FamilyLetter == 'E' ? 'E' : 'F';
    p.size = std::size_t(rec.LastAddress) + 1;
    p.blank = rec.BlankByte;
    p.maker = rec.MakerId;
    p.device = rec.DeviceId;
    p.pageCode = rec.PageCode;
    p.optionByte = flashTakesOptionByte(rec.McuFile);
    return std::make_shared<FlashChip>(p);
}

std::string FlashChip::technology() const {
    return isEeprom() ? "parallel EEPROM" : "flash";
}

bool FlashChip::preErases() const {
    return params_.maker == kPreEraseMaker && params_.device != 0x94 && params_.device != 0x95;
}

bool FlashChip::sendsContentsAfterErase() const {
    return params_.maker == kPreEraseMaker && params_.device == 0xBD;
}

std::size_t FlashChip::preEraseReplies() const {
    if (size() == 0) return 0;
    std::size_t lastAddress = size() - 1;
    return lastAddress / 4 + (lastAddress % 4 != 0 ? 1 : 0);
}

bool FlashChip::reportsBlockFlags() const {
    return params_.maker == kBlockFlagMaker && params_.device == kBlockFlagDevice;
}

bool FlashChip::reportsBootBlock() const {
    return params_.pageCode == kBootBlockPage;
}

void FlashChip::setBlockProtected(std::size_t block, bool on) {
    if (block < blockProtected_.size()) blockProtected_[block] = on;
}

bool FlashChip::blockProtected(std::size_t block) const {
    return block < blockProtected_.size() && blockProtected_[block];
}

void FlashChip::setBootBlock(std::size_t begin, std::size_t length) {
    bootBegin_ = std::min(begin, size());
    bootLength_ = std::min(length, size() - bootBegin_);
}

bool FlashChip::cellProtected(std::size_t address) const {
    if (address >= size()) return false;
    if (bootProtected_ && address >= bootBegin_ && address - bootBegin_ < bootLength_) return true;
    for (std::size_t i = 0; i < kFlashProtectionBlocks; ++i) {
        if (!blockProtected_[i]) continue;
        std::size_t begin = i * size() / kFlashProtectionBlocks;
        std::size_t end = (i + 1) * size() / kFlashProtectionBlocks;
        if (address >= begin && address < end) return true;
    }
    return false;
}

std::uint8_t FlashChip::writeCell(std::size_t address, std::uint8_t value, std::uint8_t stuckOnes) {
    if (address >= size()) return 0xFF;
    if (cellProtected(address)) return at(address);
    if (!isEeprom()) return program(address, value, stuckOnes);
    std::uint8_t cell = std::uint8_t(value | stuckOnes);
    load(address, std::span<const std::uint8_t>(&cell, 1));
    return at(address);
}

void FlashChip::eraseUnprotected() {
    for (std::size_t a = 0; a < size(); ++a) {
        if (cellProtected(a)) continue;
        std::uint8_t blank = erasedAt(a);
        load(a, std::span<const std::uint8_t>(&blank, 1));
    }
}

bool FlashChip::handleFrame(const Frame& f, FrameContext& ctx) {
    if (f.is('E', 'R', 0, 0)) {
        ctx.startStream(std::make_unique<ChipRangeSource>(shared_from_this(), 0, size()));
        return true;
    }
    if (f.is('E', 'P', 0, 0)) {
        ++programCommands_;
        lastOption_.reset();
        ctx.receive(std::make_unique<FlashProgramSink>(std::static_pointer_cast<FlashChip>(shared_from_this()),
                                                       params_.optionByte));
        return true;
    }
    if (f.is("EE00")) {
        ++eraseCommands_;
        const FaultPlan& faults = ctx.faults();
        if (!faults.eraseFails) eraseUnprotected();
        if (!preErases()) {
            if (faults.eraseFails) ctx.replyWord(Reply::Other, kWordFail);
            else ctx.replyWord(Reply::EraseDone, kWordDone);
            return true;
        }
        std::string word = faults.eraseFails ? faults.word(Reply::Other, kWordFail)
                                             : faults.word(Reply::EraseDone, kWordGood);
        std::shared_ptr<const Chip> contents;
        if (!faults.eraseFails && sendsContentsAfterErase()) contents = shared_from_this();
        ctx.startStream(std::make_unique<PreEraseSource>(preEraseReplies(), std::move(word), std::move(contents)));
        return true;
    }
    if (f.is('E', 'I', 0, 0)) {
        if (ctx.faults().chipIdReply) {
            ctx.reply(*ctx.faults().chipIdReply);
            return true;
        }
        std::vector<std::uint8_t> r = ctx.faults().signature.value_or(signature());
        r.resize(2, 0xFF);
        if (reportsBlockFlags()) {
            for (bool p : blockProtected_) r.push_back(p ? 1 : 0);
        } else if (reportsBootBlock()) {
            r.push_back(bootProtected_ ? 1 : 0);
        }
        ctx.reply(r);
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
