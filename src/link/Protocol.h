#pragma once
// The programmer's wire protocol as the host sees it: every frame the host
// sends begins with four bytes (ASCII-led), numbers of more than one byte
// travel high byte first, and every reply word is four ASCII characters.
// Each command and reply word is named here once; the link and the family
// routines use these names instead of spelling the bytes themselves.
#include <array>
#include <cstdint>
#include <cstddef>

namespace tesmar::proto {

using Frame = std::array<std::uint8_t, 4>;

// A four-byte frame: two command letters and two parameter bytes ('E','R',0,0).
constexpr Frame frame(char a, char b, std::uint8_t p1 = 0, std::uint8_t p2 = 0) {
    return Frame{std::uint8_t(a), std::uint8_t(b), p1, p2};
}
// A frame spelled as four ASCII characters ("FPGA", "Stop").
constexpr Frame word(const char (&s)[5]) {
    return Frame{std::uint8_t(s[0]), std::uint8_t(s[1]), std::uint8_t(s[2]), std::uint8_t(s[3])};
}

// --- Frames of the link itself -------------------------------------------
constexpr Frame kIdentify = frame('N', 0, 0, 0);
constexpr Frame kBitstreamUpload = word("FPGA");
constexpr Frame kFirmwareUpload = word("MCU ");
constexpr Frame kDeviceParameters = word("V000");
// Over-current probe: the "EO" form for the devices whose page code is 102..104.
constexpr Frame kProbeOverCurrentE = frame('E', 'O', 0, 0);
constexpr Frame kProbeOverCurrentT = frame('T', 'O', 0, 0);

// --- Frames shared by the family routines ---------------------------------
// Operation frames are 'E', an operation letter and two parameter bytes.
constexpr char kOperationLead = 'E';
constexpr Frame kStop = word("Stop");         // ends the programmer's current stream (Abort)
constexpr Frame kCompareAbort = word("ErrV");  // ends a stream after a verify mismatch
constexpr Frame kBlankAbort = word("ErrB");    // ends a stream after a non-blank byte

// --- Microcontroller family ('M') -------------------------------------------
// S2 below is the part's selector byte: 0x55 when the record's DeviceId is
// 0x55, else its DeviceId2. Frames with a value in them are built here.
constexpr Frame mcuChipCodeSelect(std::uint8_t chipCode) { return frame('E', 'C', 0, chipCode); }  // no reply
constexpr Frame kMcuChipId = frame('E', 'I');          // three signature bytes
constexpr Frame kMcuReadCode = frame('E', 'R', 'p');    // the code stream (user-row parts: code, row, fuse byte)
constexpr Frame kMcuReadFuses = frame('E', 'R', 'L');   // fuse and lock bytes, as many as the chip code has
constexpr Frame kMcuReadFuseByte = frame('E', 'R', 'F');  // one fuse byte
// The code stream for a blank check: 'p' for the code area, 'B' for parts
// with security bits.
constexpr Frame mcuBlankCheck(bool codeArea, bool securityBits) {
    return frame('E', 'R', codeArea ? 'p' : 0, securityBits ? 'B' : 0);
}
// The data EEPROM stream; parts that size their EEPROM follow it with the
// size, high byte first.
constexpr Frame mcuReadData(std::uint8_t p2) { return frame('E', 'R', 'e', p2); }
constexpr Frame mcuProgramCode(std::uint8_t p2) { return frame('E', 'P', 'p', p2); }  // "Send", data, acknowledgements
constexpr Frame mcuProgramData(std::uint8_t p2) { return frame('E', 'P', 'e', p2); }
// Lock step '1', '2' or '3' (one-byte answer).
constexpr Frame mcuLockStep(char step, std::uint8_t p2) { return frame('E', 'P', std::uint8_t(step), p2); }
constexpr Frame mcuErase(std::uint8_t s2) { return frame('E', 'E', '0', s2); }          // "Done"
constexpr Frame mcuProgramFuse(std::uint8_t v) { return frame('E', 'P', 'F', v); }      // one-byte answer
constexpr Frame mcuProgramLock(std::uint8_t v) { return frame('E', 'P', 'L', v); }      // one-byte answer
constexpr Frame mcuProgramSecurity(std::uint8_t v) { return frame('E', 'S', 0, v); }    // one-byte answer
constexpr std::uint32_t kMcuAckBytes = 4;             // one acknowledgement per four data bytes
constexpr std::uint32_t kMcuFixedEepromBytes = 2048;  // the data EEPROM of parts that do not size it
constexpr std::uint32_t kMcuUserRowBytes = 32;        // streamed behind the code of user-row parts

// --- PLD family ---------------------------------------------------------------
// Table values travel as their low bytes. Each read frame is followed by a
// second write of two bytes (row length or count, row address).
constexpr Frame pldSignatureFrame(std::uint8_t bytesPerRow, std::uint8_t pesRow) {
    return frame('E', 'I', bytesPerRow, pesRow);
}
constexpr Frame pldReadArrayFrame(std::uint8_t rows) { return frame('E', 'R', 'a', rows); }
constexpr Frame kPldReadUes = frame('E', 'R', 0, 1);
constexpr Frame kPldReadConfig = frame('E', 'R', 'c', 1);
constexpr Frame kPldProgramUes = frame('E', 'P', 'u', 0);
constexpr Frame kPldProgramConfig = frame('E', 'P', 'c', 0);
constexpr Frame pldSecureFrame(std::uint8_t vcc, std::uint8_t pulse) { return frame('E', 'S', vcc, pulse); }
// The erase ('E') and program ('P') headers: 12 bytes.
using PldHeader = std::array<std::uint8_t, 12>;
constexpr PldHeader pldHeader(char op, std::uint8_t vpp, std::uint8_t eraseRow, std::uint8_t eraseTime,
                              std::uint8_t configRow, std::uint8_t configBits, std::uint8_t rowBits,
                              std::uint8_t rows, std::uint8_t pulse, std::uint8_t vcc) {
    return PldHeader{std::uint8_t('E'), std::uint8_t(op), std::uint8_t('a'), vpp,     eraseRow, eraseTime,
                     configRow,         configBits,       rowBits,           rows,    pulse,    vcc};
}
constexpr std::size_t kPldSignatureMax = 20;  // signature bytes kept

// --- Reply words ------------------------------------------------------------
constexpr char kReplySend[] = "Send";  // data may follow
constexpr char kReplyGood[] = "Good";  // upload or pre-erase confirmed; no over-current
constexpr char kReplyOkay[] = "Okay";  // firmware accepted
constexpr char kReplyDone[] = "Done";  // erase finished
constexpr char kReplyOverCurrent[] = "OCER";
constexpr unsigned kReplyWordLength = 4;

// --- Numbers of the link ------------------------------------------------------
constexpr char kDescription[] = "Tesmar";          // USB description the programmer answers to
constexpr std::uint32_t kOpenFlagsConnect = 0x20000002;  // start-up and Reconnect
constexpr std::uint32_t kOpenFlagsSelect = 2;             // re-open during a device selection
constexpr std::uint8_t kStateReady = 2;                  // first identify byte of a ready programmer
constexpr int kConnectAttempts = 10;
constexpr int kConnectPauseMs = 1000;
constexpr int kReconnectPauseMs = 100;
constexpr int kReplyPolls = 30000;                 // receive-queue polls of one reply wait
constexpr std::uint32_t kBitstreamLength = 19897;  // bitstream bytes after "Send": zero-filled or cut to this
constexpr std::uint32_t kFirmwareMax = 8192;       // largest firmware the programmer takes
constexpr std::uint32_t kIdentifyReplyMax = 20;
constexpr std::uint32_t kFirmwareReplyMax = 12;
constexpr std::uint32_t kPacketLength = 15;

// Time-outs (read ms, write ms) set by the link.
constexpr std::uint32_t kIdentifyReadMs = 2000, kIdentifyWriteMs = 60000;
constexpr std::uint32_t kUploadReadMs = 10000, kUploadWriteMs = 10000;
constexpr std::uint32_t kSelectReadMs = 2000, kSelectWriteMs = 2000;

}  // namespace tesmar::proto
