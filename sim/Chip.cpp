#include "sim/Chip.h"

#include <algorithm>
#include <cstdio>

namespace tesmar::sim {

std::string Frame::hex() const {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

Chip::Chip(std::size_t size, std::vector<std::uint8_t> erasedPattern, std::vector<std::uint8_t> signature)
    : mem_(size), erasedPattern_(std::move(erasedPattern)), signature_(std::move(signature)) {
    if (erasedPattern_.empty()) erasedPattern_.push_back(0xFF);
    erase();
}

std::uint8_t Chip::erasedAt(std::size_t address) const {
    if (address >= mem_.size()) return 0xFF;
    return erasedPattern_[address % erasedPattern_.size()];
}

bool Chip::isBlank() const {
    for (std::size_t a = 0; a < mem_.size(); ++a)
        if (mem_[a] != erasedAt(a)) return false;
    return true;
}

std::uint8_t Chip::program(std::size_t address, std::uint8_t value, std::uint8_t stuckOnes) {
    if (address >= mem_.size()) return 0xFF;
    mem_[address] = std::uint8_t((mem_[address] & value) | stuckOnes);
    return mem_[address];
}

void Chip::erase() {
    for (std::size_t a = 0; a < mem_.size(); ++a) mem_[a] = erasedPattern_[a % erasedPattern_.size()];
}

void Chip::load(std::size_t address, std::span<const std::uint8_t> bytes) {
    if (address >= mem_.size()) return;
    std::size_t n = std::min(bytes.size(), mem_.size() - address);
    std::copy_n(bytes.begin(), n, mem_.begin() + std::ptrdiff_t(address));
}

std::size_t ChipRangeSource::produce(std::span<std::uint8_t> out) {
    std::size_t n = std::min(out.size(), end_ - std::min(next_, end_));
    for (std::size_t i = 0; i < n; ++i) out[i] = chip_->at(next_ + i);
    next_ += n;
    return n;
}

std::size_t FixedBytesSource::produce(std::span<std::uint8_t> out) {
    std::size_t n = std::min(out.size(), bytes_.size() - pos_);
    std::copy_n(bytes_.begin() + std::ptrdiff_t(pos_), n, out.begin());
    pos_ += n;
    return n;
}

void AckPacer::send(std::vector<std::uint8_t>& out, FrameContext& ctx) {
    if (const auto& stall = ctx.faults().acksStallAfter) {
        std::uint64_t room = *stall > acked_ ? *stall - acked_ : 0;
        if (out.size() > room) out.resize(std::size_t(room));
    }
    acked_ += out.size();
    if (!out.empty()) ctx.reply(out);
}

}  // namespace tesmar::sim
