#pragma once
// Faults the simulated programmer can be told to show. Every fault is a plain,
// deterministic setting: the same plan and the same host traffic give the same
// replies. Set the plan between operations (it is read without the port lock).
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmar::sim {

// The places where the firmware answers with a reply word.
enum class Reply {
    FpgaSend,   // "Send" after the "FPGA" header
    FpgaGood,   // "Good" after the bitstream data
    McuOkay,    // "Okay" after a firmware upload with a good sum
    Probe,      // "Good" (or "OCER") to the over-current probe
    EraseDone,  // "Done" after a successful erase ("Good" after a flash part's pre-erase)
    Other,      // words no fault targets by name (failure words)
};

struct FaultPlan {
    // The programmer is dead: it takes the host's bytes and never answers or acts.
    bool silent = false;
    // A reply word sent instead of the right one. Fewer than four bytes makes a
    // short reply; an empty string sends nothing at that point.
    std::map<Reply, std::string> wrongReply;
    // Every reply word is cut to this many bytes.
    std::optional<std::size_t> shortReplies;
    // Replies and streams trickle in: each receive-queue poll makes at most this
    // many more bytes visible (a read still collects what is on its way).
    std::optional<std::size_t> splitReplies;
    // The probe answers "OCER".
    bool overCurrent = false;
    // The identify exchange answers 1 (opened, not ready) instead of the set reply.
    bool notReady = false;
    // Signature bytes answered instead of the chip's own.
    std::optional<std::vector<std::uint8_t>> signature;
    // Per chip address, bits that stay 1 whatever is programmed.
    std::map<std::uint32_t, std::uint8_t> stuckOnes;
    // Erase answers a failure word and leaves the chip as it was.
    bool eraseFails = false;
    // A device-to-host stream goes quiet after this many bytes (until "Stop").
    std::optional<std::uint64_t> streamStallsAfter;
    // The whole answer to a flash or serial part's chip-ID frame, as it stands
    // (any length), instead of the signature and protection bytes.
    std::optional<std::vector<std::uint8_t>> chipIdReply;
    // A flash, serial or PIC part stops acknowledging program data after this
    // many acknowledgement bytes (it still takes and programs the data).
    std::optional<std::uint64_t> acksStallAfter;
    // A PIC part answers its program frames with this instead of "Send" (an
    // empty string sends nothing) and then expects no data.
    std::optional<std::string> programSend;

    // Microcontroller parts ('M') also take signature, chipIdReply (their whole
    // "EI" answer), programSend (after their code program frame), stuckOnes,
    // eraseFails, acksStallAfter and streamStallsAfter.
    // The erase's "Done" shows only after the host has polled this many times
    // (queue-status calls and reads); the erase itself is done at once.
    std::optional<unsigned> eraseDoneAfterPolls;
    // Answers to the fuse and lock reads "ERL" and "ERF" are cut to this many bytes.
    std::optional<std::size_t> fuseReadBytes;
    // Only this many one-byte answers to lock, fuse and security writes are
    // sent; the writes after them still take.
    std::optional<unsigned> configRepliesAfter;
    // The part behaves as read- and write-locked whatever its lock bits hold
    // (a lock that an erase does not lift).
    bool lockedChip = false;

    // The reply word the firmware sends at that place under this plan.
    std::string word(Reply where, std::string_view right) const {
        std::string w(right);
        if (where != Reply::Other) {
            auto it = wrongReply.find(where);
            if (it != wrongReply.end()) w = it->second;
        }
        if (shortReplies && w.size() > *shortReplies) w.resize(*shortReplies);
        return w;
    }

    void stickBit(std::uint32_t address, unsigned bit) { stuckOnes[address] |= std::uint8_t(1u << (bit & 7)); }
    std::uint8_t stuckOnesAt(std::uint32_t address) const {
        auto it = stuckOnes.find(address);
        return it == stuckOnes.end() ? 0 : it->second;
    }

    // ---- PLD parts ----
    // A PLD part also follows silent, signature (answered as it stands, any
    // length), wrongReply[EraseDone], eraseFails, stuckOnes (the address is
    // the JEDEC fuse number; bit 0 keeps that fuse at 1), acksStallAfter,
    // streamStallsAfter, splitReplies and overCurrent.
    // The program step of that letter ('a' the array header, 'u' the UES,
    // 'c' the configuration) answers this word instead of "Send" (an empty
    // string sends nothing) and then takes no data.
    std::map<char, std::string> pldProgramSend;

    // ---- PIC configuration ----
    // Both PIC families also follow the faults above; these reach only the
    // configuration area. Configuration bytes are counted from 0 in the order
    // the read stream sends them.
    // The configuration program frame ("EP c") answers this instead of "Send"
    // (an empty string sends nothing) and then takes no data; the other
    // program frames still answer "Send".
    std::optional<std::string> picConfigSend;
    // Only this many acknowledgement bytes follow the configuration data (0:
    // none at all); the bytes are still programmed.
    std::optional<std::size_t> picConfigAcks;
    // Per configuration byte, bits held at 0 from the first program or erase
    // of the configuration on (a bit stuck at 1 is a stuckOnes entry at the
    // byte's buffer address).
    std::map<std::size_t, std::uint8_t> picConfigStuckZeros;
    // A read stream goes quiet after this many configuration bytes (the areas
    // before them come whole) until "Stop", "ErrV" or "ErrB".
    std::optional<std::size_t> picConfigStreamStallsAfter;
};

}  // namespace tesmar::sim
