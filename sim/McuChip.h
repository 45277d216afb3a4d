#pragma once
// 8051-type and AVR-type microcontrollers ('M' records). The part holds its
// code (LastAddress + 1 bytes), a data area behind it (the data EEPROM, or the
// 32-byte user row of algorithm 35 parts), fuse bytes low, high and extended,
// a lock byte, three signature bytes and four factory calibration bytes.
// S2 below is the part's selector byte: 0x55 when DeviceId is 0x55, else DeviceId2.
//
// Family frames (4 bytes each) and what the firmware answers:
//   'E','C',0,code     chip-code select: no reply. Parts with a chip code of 200 or
//                      more and an algorithm other than 26, 34, 35 need it before any
//                      other frame; other parts take no such frame.
//   'E','I',0,0        the three signature bytes (a DeviceId2 of 0 answers 0xFF there).
//   'E','R',x,y        the code read stream, x 'p' or 0, y 0 (or 'B' on algorithm 26):
//                      LastAddress + 1 bytes; algorithm 35 adds the 32 user-row bytes
//                      and then the fuse byte.
//   'E','R','e',x      the data EEPROM stream. Algorithm 28: x 0, 2048 bytes. Algorithms
//                      30, 32: x 0 or the low byte of the size, then the host sends the
//                      size (2 bytes, high first) and the part streams that many bytes.
//   'E','R','L',0      fuses and locks: n bytes, n by chip code (202: 1, 203: 7, 204: 7,
//                      205: 4, 207: 8, 209: 4, 211: 4, any other: 1), laid out below.
//   'E','R','F',0      algorithms 28, 34, 35: the fuse byte (chip code 212: its bits 1-0
//                      are the two lock bits).
//   'E','P','p',b      "Send", then the code (algorithm 35: code and user row) from the
//                      host; 4 acknowledgement bytes per 4 data bytes, 'D' for a byte
//                      that reads back as sent, 'F' for one that does not. b is
//                      ProgramParam on algorithm 32, the fuse byte on 35, else S2.
//   'E','P','e',b      data EEPROM. Algorithm 28 (b = S2): 2048 data bytes follow at
//                      once. Algorithms 30 (b = S2) and 32 (b = 4): the size follows
//                      (2 bytes), the part answers "Send", then the data. Acknowledged
//                      as the code.
//   'E','P','1'..'3',b lock step n, b = S2: programs lock bit n; algorithm 35 lock
//                      step 1 instead writes b into the fuse byte. One byte answer.
//   'E','P','F',v      fuse byte := v, one byte answer. Algorithm 32 then takes the
//                      high fuse byte as one raw byte (one byte answer) and, on chip
//                      codes 205, 207, 209, 210, 211, the extended fuse byte likewise.
//                      Algorithms 28 and 30 write only bits 0x21 of the fuse byte from
//                      v (the rest keep what the part holds) and expect v with every
//                      bit outside 0x21 set.
//   'E','P','L',v      algorithms 30, 32: lock byte AND v (algorithm 30: every bit
//                      but 1 and 2 set). One byte answer.
//   'E','S',0,v        algorithm 26: security bits AND v (v has bits 7-2 set). One byte.
//   'E','E','0',S2     erase: "Done" (parts the record does not let erase take no erase).
// Every one-byte answer is the byte as the part holds it after the write.
// "ErrV", "ErrB" and "Stop" end any stream (the transport handles them).
//
// "ERL" layouts. Algorithm 32: 203 and 204 low, high, lock, CAL0..CAL3; 205, 209,
// 211 low, high, extended, lock; 207 low, high, extended, lock, CAL0..CAL3; other
// chip codes the low fuse byte alone. Algorithm 30: one byte, bit 7 lock bit 1,
// bit 6 lock bit 2, bits 5 and 0 the fuse bits, the rest 1. 8051 types report
// their lock bits by signature: DeviceId 0x51, 0x52, 0x55 in bits 2, 3, 4 (1 =
// programmed); 0x53, 0x72 in bits 2, 1, 0 (1 = unprogrammed); any other part in
// bits 0, 1, 2 (1 = unprogrammed). Algorithm 26 parts answer their security bits.
//
// Physics. Code and user row are flash: programming only clears bits. Data
// EEPROM bytes take the value written (the parts erase each byte as they write
// it); fuse bytes take the value written (the bits written, see "EPF"). Lock
// and security bits only clear, until an erase. The erase clears code, user row, lock and security bits and
// the data EEPROM, except the data EEPROM of an AVR whose EESAVE fuse is
// programmed (high fuse bit 0x04 on chip code 203; 0x08 on 204, 205, 207, 209,
// 210; 0x40 on 211); fuses, signature and calibration stay.
// Lock bits: AVR parts keep lock bit n in bit n of the lock byte on chip codes
// 200, 201 and algorithm 30, in bit n - 1 elsewhere; 8051 types in bit n - 1;
// on algorithm 26 the lock byte is the security byte (bit 0 lock, bit 1 MOVC
// inhibit, bit 2 encryption). Lock bit 1 programmed stops code and data writes
// (they answer 'F'); lock bit 2 programmed garbles the code and data streams
// (algorithm 26: the lock bit does both). Fuse and lock reads and the signature
// are never garbled.
//
// Choices where the host's side leaves the firmware open: data that ends in a
// partial group of 4 bytes gets no acknowledgement for that group; an EEPROM
// size other than the part's is taken (bytes past the end are dropped, missing
// ones read 0xFF) and noted; the fourth byte of the algorithm-35 program frame
// is only recorded; erase clears the user row too, so that a part can be
// programmed again; a lock step 3 on a part with two lock bits clears the bit
// above them and locks nothing.
//
// Faults honoured: signature and chipIdReply (the "EI" answer), programSend
// (instead of "Send" after 'E','P','p'), stuckOnes (code byte n at n, data area
// byte k at LastAddress + 1 + k), eraseFails, eraseDoneAfterPolls,
// acksStallAfter, streamStallsAfter, fuseReadBytes, configRepliesAfter,
// lockedChip; the transport adds splitReplies, shortReplies and overCurrent.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devices/DeviceRecord.h"
#include "sim/Chip.h"

namespace tesmar::sim {

inline constexpr std::uint8_t kMcuAckGood = 'D';
inline constexpr std::uint8_t kMcuAckFailed = 'F';
inline constexpr std::size_t kMcuUserRowBytes = 32;
inline constexpr std::size_t kMcuFixedEepromBytes = 2048;  // algorithm 28

class McuChip : public Chip {
public:
    struct Params {
        std::int8_t algorithm = 29;
        std::uint8_t chipCode = 0;  // PageCode: 200-212, 0 = none
        std::size_t codeBytes = 0;
        std::size_t dataBytes = 0;  // data EEPROM, or the user row of algorithm 35
        std::uint8_t blank = 0xFF;
        std::array<std::uint8_t, 3> signature{};  // as "EI" answers
        std::uint8_t selector = 0;                // S2
        std::uint8_t programParam = 0;
        bool erasable = true;
        std::array<std::uint8_t, 3> fuses{0xFF, 0xFF, 0xFF};  // factory low, high, extended
        std::array<std::uint8_t, 4> calibration{};
    };

    enum class Target { FuseLow, FuseHigh, FuseExt, Lock, LockBit1, LockBit2, LockBit3, Security };
    struct ConfigWrite {
        Target target;
        std::uint8_t value;  // as the host sent it
        bool operator==(const ConfigWrite&) const = default;
    };

    explicit McuChip(const Params& params);

    // A new part for an 'M' record, with the factory fuses of its chip code.
    static std::shared_ptr<McuChip> blankFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override;

    const Params& params() const { return params_; }
    bool isAvr() const { return params_.algorithm == 30 || params_.algorithm == 32; }
    bool needsChipCode() const;
    // Bytes of the "ERL" answer.
    std::size_t fuseReadLength() const;

    // The part as it stands.
    const std::vector<std::uint8_t>& code() const { return memory(); }
    const std::vector<std::uint8_t>& dataArea() const { return data_; }
    std::array<std::uint8_t, 3> fuses() const { return fuses_; }
    std::uint8_t lockByte() const { return lock_; }  // algorithm 26: the security bits
    std::array<std::uint8_t, 4> calibration() const { return params_.calibration; }
    bool lockBitProgrammed(int n) const { return (lock_ & lockBitMask(n)) == 0; }
    bool writeLocked(const FaultPlan& faults) const;
    bool readLocked(const FaultPlan& faults) const;

    // A part programmed elsewhere.
    void loadData(std::size_t offset, std::span<const std::uint8_t> bytes);
    void setFuses(std::array<std::uint8_t, 3> fuses) { fuses_ = fuses; }
    void setLockByte(std::uint8_t lock) { lock_ = lock; }

    // What the firmware received (read between operations): the frames by
    // name ("EC", "EI", "ERp", "ERe", "ERL", "ERF", "EPp", "EPe", "EP1", "EPF",
    // "EPL", "ES", "EE0"; the raw fuse bytes as "fuse high", "fuse extended"),
    // every fuse, lock and security write in order, and the chip code selected.
    const std::vector<std::string>& commands() const { return commands_; }
    const std::vector<ConfigWrite>& configWrites() const { return writes_; }
    std::optional<std::uint8_t> selectedChipCode() const { return selected_; }
    void clearLog() {
        commands_.clear();
        writes_.clear();
    }

    // Called by the program stream: writes one byte of the image (code from 0,
    // data area from codeBytes) and says whether it reads back as sent.
    bool writeImageByte(std::size_t offset, std::uint8_t value, const FaultPlan& faults);

private:
    std::uint8_t lockBitMask(int n) const;
    std::uint8_t imageByte(std::size_t offset, bool garbled) const;
    std::vector<std::uint8_t> fuseReadReply() const;
    std::uint8_t fuseByteReply() const;
    void eraseChip();
    bool eesaveProgrammed() const;

    void note(FrameContext& ctx, const std::string& what, std::uint8_t got, std::uint8_t want);
    void answerWrite(FrameContext& ctx, Target target, std::uint8_t sent, std::uint8_t held);
    void streamImage(FrameContext& ctx, std::size_t begin, std::size_t count, std::vector<std::uint8_t> tail = {});
    void takeProgramData(FrameContext& ctx, std::size_t begin, std::size_t count, std::string what);
    void takeFuseBytes(FrameContext& ctx);
    bool dataFrame(const Frame& f, FrameContext& ctx);
    bool configFrame(const Frame& f, FrameContext& ctx);
    void selectChipCode(std::uint8_t code, FrameContext& ctx);

    Params params_;
    std::vector<std::uint8_t> data_;
    std::array<std::uint8_t, 3> fuses_;
    std::uint8_t lock_ = 0xFF;
    std::optional<std::uint8_t> selected_;
    unsigned configAnswers_ = 0;
    std::vector<std::string> commands_;
    std::vector<ConfigWrite> writes_;
};

}  // namespace tesmar::sim
