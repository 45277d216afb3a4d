#pragma once
// Programmable logic devices ('P'): electrically erasable logic arrays (GAL
// type) and one-time fuse arrays. What the part holds comes from the row of
// the programmer's geometry table that the record's algorithm byte names:
//   the array, rows x bits cells; cell k of device row r is JEDEC fuse
//     r + k x rows;
//   the UES row, one device row of bits cells whose first UES bytes x 8 are
//     the UES fuses from the first UES fuse on (absent on the algorithm 13
//     part and on fuse arrays);
//   the configuration cells, in transfer order, each at the JEDEC fuse its
//     list names;
//   the PES bytes and the security cell.
// Erased cells read 1 and programming only clears them. A secured part reads
// 0 in every cell; its PES stays readable.
//
// Family frames (table values travel as their low bytes):
//   'E','I',bits/8,PES row         the PES: 8 bytes on parts of up to 64 cells
//                                  per row, else 9
//   'E','R','a',rows; bits,0       the array, device row after device row, one
//                                  byte (0 or 1) per cell
//   'E','R',0,1; bits,UES row      the UES row, bits bytes
//   'E','R','c',1; count,cfg row   count configuration cells in transfer order
//   'E','E','a',V; erase row, erase time, cfg row, cfg bits, bits, rows,
//                  pulse, W        erase header (12 bytes in all): "Done"
//   'E','P','a',V; (the same 8)    program header: the part is erased, then
//                                  "Send"; rows x bits data bytes follow, row
//                                  after row, and each row is answered with
//                                  bits bytes
//   'E','P','u',0                  "Send"; bits data bytes for the UES row, one
//                                  byte back per cell
//   'E','P','c',0                  "Send"; the configuration cells in transfer
//                                  order, one byte back per cell
//   'E','S',W,pulse                sets the security cell; "Done"
//
// How the firmware behaves where the host's side leaves it open:
// - Sizes are the host's: a read streams, and a program step takes, as many
//   bytes as the frame or the last program header names. Cells past the part
//   read 1 and take nothing. Every size or row address that differs from the
//   part's geometry is noted as a protocol error.
// - The program header carries the erase row and erase time because the
//   firmware erases the part before it programs it: Program needs no Erase
//   first. An erase acts only at the part's own erase row.
// - A fuse array has no erase: its erase answers "Done" and changes nothing.
// - The UES and configuration steps take the row size and configuration count
//   of the last program header (the part's own, noted, when none came).
// - Acknowledgement bytes are the cells as they read after programming (a
//   secured part's read 0).
// - A header or secure frame with a voltage byte of 0 changes no cell (noted).
// - A data byte other than 0 or 1 programs by its bit 0 (noted once a step).
// - UES frames to a part without a UES row are noted and not answered.
// - The secure frame is answered with "Done".
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
#include "sim/PldGeometry.h"

namespace tesmar::sim {

// The PES a part of that maker and name answers, for the parts the
// simulator keeps in stock (the sample PLD records); none for others.
std::optional<std::vector<std::uint8_t>> stockPldPes(std::uint8_t maker, const std::string& name);

class PldChip : public Chip {
public:
    // One 12-byte erase or program header as it came.
    struct Header {
        std::array<std::uint8_t, 12> bytes{};
        bool isProgram() const { return bytes[1] == 'P'; }
        std::uint8_t vpp() const { return bytes[3]; }
        std::uint8_t eraseRow() const { return bytes[4]; }
        std::uint8_t eraseTime() const { return bytes[5]; }
        std::uint8_t configRow() const { return bytes[6]; }
        std::uint8_t configBits() const { return bytes[7]; }
        std::uint8_t bits() const { return bytes[8]; }
        std::uint8_t rows() const { return bytes[9]; }
        std::uint8_t pulse() const { return bytes[10]; }
        std::uint8_t vcc() const { return bytes[11]; }
    };

    // algorithm must name a row of the geometry table.
    PldChip(int algorithm, std::vector<std::uint8_t> pes);

    // A blank part for a 'P' record, or null when its algorithm has no
    // geometry. The PES is the stock part's, else one built from the record:
    // for maker 0x1F one the signature check accepts, for others the maker at
    // byte 3 and the device at byte 2, the rest 0.
    static std::shared_ptr<PldChip> blankFor(const tesmar::DeviceRecord& rec);
    static std::vector<std::uint8_t> pesFor(const tesmar::DeviceRecord& rec);

    bool handleFrame(const Frame& frame, FrameContext& ctx) override;
    std::string technology() const override;

    int algorithm() const { return algorithm_; }
    const PldGeometry& geometry() const { return *geometry_; }
    bool hasUes() const { return hasUes_; }
    bool isErasable() const { return geometry_->eraseRow != 0; }
    bool isSecured() const { return secured_; }
    void setSecured(bool secured) { secured_ = secured; }

    // The cells as they are (a secured part's too), by JEDEC fuse number: one
    // byte 0 or 1 per fuse of the geometry's fuse count. Fuses that no cell
    // stands behind read 1.
    std::vector<std::uint8_t> fuseMap() const;
    // A part programmed elsewhere: every cell takes its fuse's bit 0 from the map.
    void loadFuseMap(std::span<const std::uint8_t> fuses);

    std::uint8_t arrayCell(int row, int k) const;
    std::uint8_t uesCell(int k) const;
    std::uint8_t configCell(int i) const;

    // What the host did (read these between operations).
    // Frames in order: "EI", "ERa", "ERu", "ERc", "EEa", "EPa", "EPu", "EPc", "ES".
    const std::vector<std::string>& commands() const { return commands_; }
    const std::vector<Header>& headers() const { return headers_; }
    // W and pulse of each secure frame.
    const std::vector<std::array<std::uint8_t, 2>>& secureFrames() const { return secures_; }
    unsigned erasures() const { return erasures_; }

    // Called by the program steps: programs one cell (cell index, see cellOf*)
    // with bit 0 of value and returns what it reads afterwards.
    std::uint8_t programCell(std::optional<std::size_t> cell, std::uint8_t value, const FaultPlan& faults);
    std::optional<std::size_t> arrayCellIndex(int row, int k) const;
    std::optional<std::size_t> uesCellIndex(int k) const;
    std::optional<std::size_t> configCellIndex(int i) const;
    // A cell as the host reads it: 1 past the part, 0 on a secured part.
    std::uint8_t readCell(std::optional<std::size_t> cell) const;

private:
    void readFrame(const Frame& f, FrameContext& ctx);
    void programFrame(const Frame& f, FrameContext& ctx);
    void takeHeader(const Header& h, FrameContext& ctx);
    void checkHeader(const Header& h, FrameContext& ctx) const;
    bool acceptStep(char step, FrameContext& ctx);
    // The cell's JEDEC fuse number (stuck fuses), when it has one.
    std::optional<std::uint32_t> fuseOfCell(std::size_t cell) const;
    void eraseAll();

    int algorithm_;
    const PldGeometry* geometry_;
    bool hasUes_;
    std::size_t uesBase_, configBase_;
    bool secured_ = false;
    std::optional<Header> lastProgram_;
    std::vector<std::string> commands_;
    std::vector<Header> headers_;
    std::vector<std::array<std::uint8_t, 2>> secures_;
    unsigned erasures_ = 0;
};

}  // namespace tesmar::sim
