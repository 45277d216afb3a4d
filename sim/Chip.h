#pragma once
// The chip in the socket. The base class holds what every technology shares:
// a memory array, the signature bytes and the erased pattern, with the physics
// of floating-gate cells (programming can only clear bits; only an erase sets
// them again). Each technology derives from it and answers its family's
// frames; the transport never needs to know which one sits in the socket.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/Firmware.h"

namespace tesmar::sim {

class Chip : public std::enable_shared_from_this<Chip> {
public:
    // erasedPattern repeats over the array (one byte for byte-wide parts, two
    // for word-wide parts whose erased word is stored as two bytes).
    Chip(std::size_t size, std::vector<std::uint8_t> erasedPattern, std::vector<std::uint8_t> signature);
    virtual ~Chip() = default;

    // Handles one of this technology's frames; false when the frame is not one of them.
    virtual bool handleFrame(const Frame& frame, FrameContext& ctx) = 0;
    virtual std::string technology() const = 0;

    std::size_t size() const { return mem_.size(); }
    const std::vector<std::uint8_t>& memory() const { return mem_; }
    const std::vector<std::uint8_t>& signature() const { return signature_; }
    // The erased value of the cell at address (0xFF outside the array).
    std::uint8_t erasedAt(std::size_t address) const;
    // The cell's value; 0xFF outside the array, as an open bus reads.
    std::uint8_t at(std::size_t address) const { return address < mem_.size() ? mem_[address] : 0xFF; }
    bool isBlank() const;

    // Programs one cell: it becomes old AND value, except for stuckOnes, which
    // stay set. Returns what the cell reads afterwards.
    std::uint8_t program(std::size_t address, std::uint8_t value, std::uint8_t stuckOnes = 0);
    // Every cell back to its erased value.
    void erase();
    // Sets cells directly (a chip programmed elsewhere); bytes past the end are dropped.
    void load(std::size_t address, std::span<const std::uint8_t> bytes);

private:
    std::vector<std::uint8_t> mem_;
    std::vector<std::uint8_t> erasedPattern_;
    std::vector<std::uint8_t> signature_;
};

// Streams a range of the chip's cells as they are when the host asks for them.
class ChipRangeSource : public ByteSource {
public:
    ChipRangeSource(std::shared_ptr<const Chip> chip, std::size_t begin, std::size_t length)
        : chip_(std::move(chip)), next_(begin), end_(begin + length) {}
    std::size_t produce(std::span<std::uint8_t> out) override;
    bool finished() const override { return next_ >= end_; }

private:
    std::shared_ptr<const Chip> chip_;
    std::size_t next_, end_;
};

// Bytes fixed when the stream starts: nothing the host sends while it runs
// can change them (any frame ends the stream).
class FixedBytesSource : public ByteSource {
public:
    explicit FixedBytesSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::size_t produce(std::span<std::uint8_t> out) override;
    bool finished() const override { return pos_ >= bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// Sends a program stream's acknowledgements, holding back every one past the
// fault plan's stall point (a firmware that stops answering mid-stream).
class AckPacer {
public:
    // Sends what the stall point allows of out (out is cut to that).
    void send(std::vector<std::uint8_t>& out, FrameContext& ctx);

private:
    std::uint64_t acked_ = 0;
};

}  // namespace tesmar::sim
