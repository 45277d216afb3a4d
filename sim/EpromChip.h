#pragma once
// UV-erasable EPROMs and one-time-programmable parts, byte-wide or 16-bit
// (the 16-bit parts travel as two bytes per word, so the firmware sees bytes
// either way). Family frames: read "ER", program "EP", erase "EE00",
// signature "EI".
#include <memory>

#include "devices/DeviceRecord.h"
#include "sim/Chip.h"

namespace tesmar::sim {

// The byte answered instead of 'D' when a programmed byte does not read back.
inline constexpr std::uint8_t kEpromProgramFailure = 'F';

class EpromChip : public Chip {
public:
    EpromChip(std::size_t size, std::vector<std::uint8_t> erasedPattern, std::vector<std::uint8_t> signature,
              bool uvErasable);

    // A blank part for an 'R' or 'O' record: size LastAddress + 1, signature
    // MakerId/DeviceId, erasable when the record allows erasing.
    static std::shared_ptr<EpromChip> blankFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override { return "EPROM"; }
    bool uvErasable() const { return uvErasable_; }

private:
    bool uvErasable_;
};

}  // namespace tesmar::sim
