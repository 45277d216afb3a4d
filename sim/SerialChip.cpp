#include "sim/SerialChip.h"

#include <algorithm>

#include "sim/SimProgrammer.h"

namespace tesmar::sim {

namespace {

constexpr std::size_t kAckGroup = 4;
constexpr std::uint16_t kWordOrganisation = 16;

// A range of the array as the host asks for it, then a few fixed bytes (the
// status register as it stood when the read began).
class SerialReadSource : public ByteSource {
public:
    SerialReadSource(std::unique_ptr<ByteSource> head, std::vector<std::uint8_t> tail)
        : head_(std::move(head)), tail_(std::move(tail)) {}

    std::size_t produce(std::span<std::uint8_t> out) override {
        std::size_t n = head_ ? head_->produce(out) : 0;
        while (n < out.size() && pos_ < tail_.size()) out[n++] = tail_[pos_++];
        return n;
    }
    bool finished() const override { return (!head_ || head_->finished()) && pos_ >= tail_.size(); }

private:
    std::unique_ptr<ByteSource> head_;
    std::vector<std::uint8_t> tail_;
    std::size_t pos_ = 0;
};

// The status register bytes after the program data, one raw byte each.
class SerialStatusSink : public TrailingSink {
public:
    SerialStatusSink(std::shared_ptr<SerialChip> chip, std::size_t count) : chip_(std::move(chip)), count_(count) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext&) override {
        std::size_t i = 0;
        for (; i < bytes.size() && next_ < count_; ++i) chip_->takeStatusByte(next_++, bytes[i]);
        return i;
    }
    bool done() const override { return next_ >= count_; }
    std::string what() const override { return "serial status byte"; }

private:
    std::shared_ptr<SerialChip> chip_;
    std::size_t count_;
    std::size_t next_ = 0;
};

// Takes the whole array: each byte is written to the next cell, and every 4
// bytes are answered with 4 acknowledgement bytes. The last group of an array
// whose size is not a multiple of 4 is padded to 4, since the host reads
// acknowledgements 4 at a time. The status bytes follow the data.
class SerialProgramSink : public ByteSink {
public:
    explicit SerialProgramSink(std::shared_ptr<SerialChip> chip) : chip_(std::move(chip)) {}

    std::size_t consume(std::span<const std::uint8_t> bytes, FrameContext& ctx) override {
        std::vector<std::uint8_t> acks;
        std::size_t i = 0;
        for (; i < bytes.size() && next_ < chip_->size(); ++i) {
            std::uint8_t want = bytes[i];
            std::uint8_t got = chip_->writeCell(next_, want, ctx.faults().stuckOnesAt(std::uint32_t(next_)));
            chip_->noteProgramByte();
            ++next_;
            group_.push_back(got == want ? std::uint8_t('D') : kSerialProgramFailure);
            if (group_.size() == kAckGroup || next_ == chip_->size()) {
                group_.resize(kAckGroup, 'D');
                acks.insert(acks.end(), group_.begin(), group_.end());
                group_.clear();
            }
        }
        acks_.send(acks, ctx);
        if (next_ >= chip_->size() && chip_->statusByteCount() > 0)
            ctx.receive(std::make_unique<SerialStatusSink>(chip_, chip_->statusByteCount()));
        return i;
    }
    bool done() const override { return next_ >= chip_->size(); }
    std::string what() const override { return "serial program stream"; }

private:
    std::shared_ptr<SerialChip> chip_;
    std::size_t next_ = 0;
    AckPacer acks_;
    std::vector<std::uint8_t> group_;
};

}  // namespace

SerialChip::SerialChip(const Params& params)
    : Chip(params.size, std::vector<std::uint8_t>{params.blank}, params.signature),
      params_(params),
      status_(statusByteCount(), 0),
      extra_(params.extraSize, params.blank) {}

std::shared_ptr<SerialChip> SerialChip::blankFor(const tesmar::DeviceRecord& rec) {
    Params p;
    p.size = std::size_t(rec.LastAddress) + 1;
    p.blank = rec.BlankByte;
    p.signature = {rec.MakerId, rec.DeviceId};
    if (rec.DeviceId2 != 0) p.signature.push_back(rec.DeviceId2);
    p.pageCode = rec.PageCode;
    p.wordOrganised = rec.PulseWidth == kWordOrganisation;
    p.flash = rec.MakerId != 0;
    if (rec.Name == kSerialExtraAreaPart) p.extraSize = kSerialExtraAreaSize;
    return std::make_shared<SerialChip>(p);
}

std::string SerialChip::technology() const {
    return params_.flash ? "serial flash" : "serial EEPROM";
}

std::size_t SerialChip::statusByteCount() const {
    if (params_.pageCode == 0) return 0;
    return params_.pageCode == kSerialTwoStatusPage ? 2 : 1;
}

void SerialChip::setStatus(std::size_t i, std::uint8_t value) {
    if (i < status_.size()) status_[i] = value;
}

void SerialChip::loadExtra(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (offset >= extra_.size()) return;
    std::size_t n = std::min(bytes.size(), extra_.size() - offset);
    std::copy_n(bytes.begin(), n, extra_.begin() + std::ptrdiff_t(offset));
}

std::uint8_t SerialChip::writeCell(std::size_t address, std::uint8_t value, std::uint8_t stuckOnes) {
    if (address >= size()) return 0xFF;
    if (params_.flash) return program(address, value, stuckOnes);
    std::uint8_t cell = std::uint8_t(value | stuckOnes);
    load(address, std::span<const std::uint8_t>(&cell, 1));
    return at(address);
}

void SerialChip::takeStatusByte(std::size_t index, std::uint8_t value) {
    setStatus(index, value);
    lastStatusWritten_.push_back(value);
    statusWriteLog_.push_back(value);
}

bool SerialChip::handleFrame(const Frame& f, FrameContext& ctx) {
    auto self = std::static_pointer_cast<SerialChip>(shared_from_this());
    if (f.is('E', 'R', 0, 0)) {
        ++readCommands_;
        // Parts with an extra area send their status bytes after it.
        std::vector<std::uint8_t> tail;
        if (extra_.empty()) tail = status_;
        ctx.startStream(std::make_unique<SerialReadSource>(std::make_unique<ChipRangeSource>(self, 0, size()),
                                                           std::move(tail)));
        return true;
    }
    if (f.is('E', 'r', 0, 0)) {
        if (extra_.empty()) return false;
        ++extraReadCommands_;
        ctx.startStream(std::make_unique<SerialReadSource>(std::make_unique<FixedBytesSource>(extra_), status_));
        return true;
    }
    if (f.is('E', 'P', 0, 0)) {
        ++programCommands_;
        lastProgramBytes_ = 0;
        lastStatusWritten_.clear();
        ctx.receive(std::make_unique<SerialProgramSink>(self));
        return true;
    }
    if (f.is('E', 'E', 0, 0)) {
        ++eraseCommands_;
        if (ctx.faults().eraseFails) {
            ctx.replyWord(Reply::Other, kWordFail);
        } else {
            erase();
            ctx.replyWord(Reply::EraseDone, kWordDone);
        }
        return true;
    }
    if (f.is('E', 'i', 0, 0) || f.is('E', 'I', 0, 0)) {
        identifyRequests_.push_back(char(f[1]));
        const FaultPlan& faults = ctx.faults();
        if (faults.chipIdReply) {
            ctx.reply(*faults.chipIdReply);
            return true;
        }
        // A part asked for more signature bytes than it has answers 0xFF for them, as an idle bus reads.
        std::vector<std::uint8_t> sig = faults.signature.value_or(signature());
        sig.resize(f[1] == 'i' ? 2 : 3, 0xFF);
        ctx.reply(sig);
        return true;
    }
    return false;
}

}  // namespace tesmar::sim
