#include "fileformats/LoadSave.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <vector>

#include "devices/BufferLayout.h"
#include "families/PldGeometry.h"
#include "fileformats/FileFrame.h"
#include "fileformats/FileProgress.h"
#include "operations/Host.h"
#include "operations/Report.h"

namespace tesmar {

// ---------------------------------------------------------------------------
// Frame helpers

ProgressMeter::ProgressMeter(std::shared_ptr<FileProgress> window, std::uint64_t fullScale)
    : window_(std::move(window)), full_(fullScale) {
    if (window_) window_->setPosition(0);
}

void ProgressMeter::update(std::int64_t position) {
    int pct;
    if (position <= 0)
        pct = 0;
    else if (full_ == 0)
        pct = 100;
    else
        pct = int(std::min<std::uint64_t>(100, std::uint64_t(position) * 100 / full_));
    if (pct == shown_) return;
    shown_ = pct;
    if (window_) window_->setPosition(pct);
}

bool LoadFrame::storeRun(std::int64_t at, const std::uint8_t* src, std::size_t n) {
    if (n == 0) return true;
    if (at >= 0 && std::uint64_t(at) + n <= view) {
        const std::uint64_t last = std::uint64_t(at) + n - 1;
        if (last > loadDeviceBytes) fileTooBig = true;
        std::memcpy(buf + at, src, n);
        note(std::uint64_t(at), last);
        return true;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!store(at + std::int64_t(i), src[i])) return false;
    return true;
}

void LoadFrame::readFailed() {
    if (st.host) st.host->message("File ERROR", QString(), BoxIcon::Exclamation);
    error = kReadFailed;
}

bool LoadFrame::readPairs(std::uint8_t* out, std::size_t count, std::uint8_t formatError, std::size_t* good) {
    std::size_t done = 0;
    while (done < count) {
        // Large records come through in pieces so the window need never grow.
        const std::size_t want = std::min<std::size_t>(count - done, 4096);
        const std::size_t have = in.need(2 * want);
        const unsigned char* p = in.cur();
        const std::size_t pairs = have / 2;
        for (std::size_t i = 0; i < pairs; ++i) {
            const int v = hexPairValue(p + 2 * i);
            if (v < 0) {
                in.skip(2 * i);
                if (good) *good = done + i;
                error = formatError;
                return false;
            }
            out[done + i] = std::uint8_t(v);
        }
        in.skip(2 * pairs);
        done += pairs;
        if (pairs < want) {
            if (good) *good = done;
            // A lone digit before the end still counts as a read that came up short.
            readFailed();
            return false;
        }
    }
    if (good) *good = done;
    return true;
}

bool LoadFrame::seekMark(char mark, bool& first, std::uint8_t formatError, const char* notThisFile,
                         bool colonBeforeFirst) {
    for (;;) {
        const std::size_t n = in.available();
        if (n == 0) {
            if (in.readFailed())
                readFailed();
            else
                error = formatError;
            return false;
        }
        const unsigned char* p = in.cur();
        if (first) {
            for (std::size_t i = 0; i < n; ++i) {
                if (p[i] == static_cast<unsigned char>(mark)) {
                    in.skip(i + 1);
                    first = false;
                    return true;
                }
                if (!(colonBeforeFirst && p[i] == ':')) {
                    in.skip(i);
                    memo(st, " ");
                    memo(st, notThisFile);
                    error = formatError;
                    return false;
                }
            }
            in.skip(n);
            continue;
        }
        if (const void* hit = std::memchr(p, mark, n)) {
            in.skip(std::size_t(static_cast<const unsigned char*>(hit) - p) + 1);
            return true;
        }
        in.skip(n);
    }
}

// ---------------------------------------------------------------------------
// Sizes

namespace {

bool isWordFamily(char f) { return f == 'C' || f == 'O' || f == 'Y'; }

bool isMakerBf91(const DeviceRecord& r) { return r.MakerId == 0xBF && r.DeviceId == 0x91; }

// What the image of the device needs, whatever the size table says.
std::uint64_t imageBytes(const DeviceRecord& r, bool oddEven) {
    const std::uint64_t la = r.LastAddress;
    std::uint64_t need = la + 1;
    switch (r.FamilyLetter) {
    case 'R':
        if (oddEven) need = 2 * la + 2;
        break;
    case 'M':
        need = std::max(need, la + 1 + r.DataEepromSize);
        if (r.Algorithm == 35) need = std::max(need, la + 0x20 + 1);
        if (isMakerBf91(r)) need = std::max(need, (la | 0xFFFF) + 0x2001);
        break;
    case 'S':
        if (r.PulseWidth == 16) need = 2 * (la + 1);
        break;
    case 'C':
        need = std::max((la | 0xF) + 1, picAreaMap(r).end());
        break;
    default:
        break;
    }
    return need;
}

// The hex editor's view of the device.
std::uint64_t editorViewBytes(const DeviceRecord& r, bool oddEven) {
    std::uint64_t size = std::uint64_t(r.LastAddress) + 1;
    if (r.FamilyLetter == 'M' && r.DataEepromSize != 0) size += r.DataEepromSize;
    if (oddEven) size *= 2;
    if (r.FamilyLetter == 'C') size = r.Algorithm == 18 ? 0x100000 : r.PageCode >= 46 ? 0x20000 : 0x10000;
    return std::max<std::uint64_t>(size, 0x1000);
}

// Fill word of a pre-fill option: 1 device default, 2 0x00, 3 0xFF.
std::uint16_t fillWord(const DeviceRecord& r, std::uint8_t option) {
    switch (option) {
    case 2: return 0x0000;
    case 3: return 0x00FF;
    default: return isWordFamily(r.FamilyLetter) ? std::uint16_t((r.BlankByte << 8) | 0xFF) : r.BlankByte;
    }
}

// Word families write the fill word high byte first, the others its low byte everywhere.
void fillRange(std::vector<std::uint8_t>& b, std::size_t from, const DeviceRecord& r, std::uint16_t word) {
    if (from >= b.size()) return;
    if (!isWordFamily(r.FamilyLetter)) {
        std::memset(b.data() + from, word & 0xFF, b.size() - from);
        return;
    }
    const std::uint8_t hi = std::uint8_t(word >> 8), lo = std::uint8_t(word);
    for (std::size_t i = from; i < b.size(); ++i) b[i] = (i & 1) ? lo : hi;
}

}  // namespace

std::uint64_t loadDeviceBytes(const DeviceRecord& r, bool oddEven) {
    const std::uint64_t la = r.LastAddress;
    if (r.FamilyLetter == 'R' && oddEven) return 2 * la + 2;
    if (r.FamilyLetter == 'M' && r.Algorithm == 35) return la + 0x20;
    return la;
}

LoadBufferSize loadBufferSize(const DeviceRecord& r, bool oddEven) {
    const std::uint64_t la = r.LastAddress;
    const std::uint64_t ldb = loadDeviceBytes(r, oddEven);
    const std::uint8_t pc = r.PageCode;
    LoadBufferSize s;
    std::uint64_t spare = 0;
    if (r.FamilyLetter == 'M' && isMakerBf91(r)) {
        s.view = (la | 0xFFFF) + 0x2001;
        spare = 1;
    } else if (r.FamilyLetter == 'M' && (pc == 203 || pc == 205 || pc == 209 || pc == 210)) {
        s.view = ldb + r.DataEepromSize + 1;
    } else if (r.FamilyLetter == 'M') {
        s.view = 0x10000;
    } else if (r.Algorithm == 18 || (pc >= 46 && pc <= 50)) {
        s.view = pc < 46 ? 0x100000 : 0x20000;
    } else if (r.FamilyLetter == 'R' && !oddEven) {
        s.view = la + 1;
        s.block = (la | 0x1FFFF) + 2;
    } else {
        s.view = (la | 0x1FFFF) + 1;
        spare = 1;
    }
    // Whatever the table gives, the image of the device (code, data area,
    // odd/even pair, PIC areas) must fit, and the hex editor must find its view.
    s.view = std::max(s.view, imageBytes(r, oddEven));
    s.block = std::max({s.block, s.view + spare, editorViewBytes(r, oddEven)});
    return s;
}

std::uint64_t defaultSaveStop(const DeviceRecord& r, bool oddEven) {
    const std::uint64_t la = r.LastAddress;
    std::uint64_t stop = la;
    if (r.FamilyLetter == 'M') {
        stop = la + r.DataEepromSize;
        if (r.Algorithm == 35) stop = la + 0x20;
        if (isMakerBf91(r)) stop = la + 0x2000;
        if (r.PageCode == 203 || r.PageCode == 209) stop = la + r.DataEepromSize;
    }
    if (r.FamilyLetter == 'R' && oddEven) stop = 2 * la + 1;
    return stop;
}

bool FileFound(const QString& fileName) {
    const QFileInfo fi(fileName);
    return fi.exists() && !fi.isDir();
}

bool CheckFileHandle(AppState& st, bool opened) {
    if (opened) return false;
    if (st.host) st.host->message("File ERROR", QString(), BoxIcon::Exclamation);
    return true;
}

// ---------------------------------------------------------------------------
// Load

namespace {

std::shared_ptr<FileProgress> openProgress(AppState& st, const QString& caption) {
    std::shared_ptr<FileProgress> w = st.openFileProgress ? st.openFileProgress() : nullptr;
    if (w) w->setCaption(caption);
    return w;
}

void closeProgress(const std::shared_ptr<FileProgress>& w) {
    if (w) w->close();
}

const char* errorLine(std::uint8_t code) {
    switch (code) {
    case kChecksumError: return " Checksum Error ";
    case kNotIntelHex: return " Not Intel Hex Format";
    case kNotMotorola: return " Not Motorola S-record format";
    case kNotInhx8m: return " Not INH8M format";
    case kNotInhx16: return " Not INX16 format";
    case kNotJedec: return " Not JEDEC format";
    case kOutsideBuffer: return " File doesn't fit in allocated buffer";
    default: return nullptr;
    }
}

void report(AppState& st, const LoadFrame& f, const QString& fileName) {
    const char kind = f.rec.FamilyLetter;
    if (f.error != kLoaded) {
        if (const char* line = errorLine(f.error)) memo(st, line);
        PlayErrorSound(st);
        return;
    }
    memo(st, " ");
    memo(st, " File " + fileName + " Loaded");
    if (kind != 'C' && kind != 'P') {
        memo(st, " Highest Load Address : " + UpperHexText(st.buf.HighestLoad));
        memo(st, " Lowest Load Address  : " + UpperHexText(st.buf.LowestLoad));
    }
    if (kind == 'C') {
        if (f.missing & kMissingData) memo(st, " WARNING not present in file : DATA");
        if (f.missing & kMissingConfig) memo(st, " WARNING not present in file : CONFIG");
        if (f.missing & kMissingId) memo(st, " WARNING not present in file : ID");
    }
    if (f.fileTooBig && kind != 'C' && !st.OddEvenMode) memo(st, " File bigger than selected device");
}

}  // namespace

void LoadFile(AppState& st, const QString& fileName) {
    const DeviceRecord* rec = st.dev();
    const int format = st.file.FileFormat;
    if (!rec || format < 0 || format > 5) return;
    const bool oddEven = st.OddEvenMode != 0;
    const std::uint64_t ldb = loadDeviceBytes(*rec, oddEven);

    FileReader in;
    if (CheckFileHandle(st, in.open(fileName))) return;

    // A new block replaces the image. A fill needs none of the old bytes, so
    // the old block goes before the new one is made and a load never holds two
    // images. "No fill" keeps the bytes the new block shares with the old one,
    // so one file can be loaded over another; whatever the old block did not
    // cover starts erased.
    //
    // A fuse map is read into a block of its own instead (it is small), which
    // takes the image's place only when the whole file loaded: a file that
    // fails leaves the image, and what Program would write, as it was. Its
    // fuses start erased whatever the fill option says.
    const bool replaceWhenLoaded = format == 5;
    ImageBuffer fresh;
    ImageBuffer& target = replaceWhenLoaded ? fresh : st.buf;
    const LoadBufferSize size = loadBufferSize(*rec, oddEven);
    std::vector<std::uint8_t>& image = target.DeviceBuffer;
    const std::uint8_t option = st.file.FillOption;
    if (replaceWhenLoaded) {
        image.assign(size.block, pldBlankFuse(*rec));
    } else if (option == 0) {
        const std::size_t kept = std::min<std::size_t>(image.size(), size.block);
        image.resize(size.block);
        image.shrink_to_fit();
        fillRange(image, kept, *rec, fillWord(*rec, 1));
    } else {
        std::vector<std::uint8_t>().swap(image);
        image.resize(size.block);
        fillRange(image, 0, *rec, fillWord(*rec, option));
    }
    target.BufferViewSize = std::uint32_t(size.view);
    target.BufferCursor = target.HighestLoad = target.LowestLoad = 0;
    st.ErrorFlag = 0;
    if (option != 0 && rec->isPic18()) SetPic18DefaultConfig(target, *rec);

    auto window = openProgress(st, " Loading File.......");
    ProgressMeter meter(window, ldb);
    // A microcontroller's data area (EEPROM, user row) lies past its code and
    // is part of the device: a file that fills it is not bigger than the device.
    const std::uint64_t deviceEnd = std::max(ldb, defaultSaveStop(*rec, oddEven));
    LoadFrame f{st, *rec, in, meter, target.DeviceBuffer.data(), size.view, deviceEnd, st.file.SignedOffset,
                kLoaded, false, false, 0, 0, {}, 0};
    if (rec->FamilyLetter == 'C') {
        f.pic = picAreaMap(*rec);
        f.missing = f.pic.initialMissing;
    }
    switch (format) {
    case 0: ReadIntelHex(f); break;
    case 1: ReadSRecords(f); break;
    case 2: ReadBinary(f); break;
    case 3: ReadInhx8m(f); break;
    case 4: ReadInhx16(f); break;
    case 5: LoadJedecFile(f); break;
    }
    in.close();

    st.ErrorFlag = f.error;
    if (f.stored) {
        target.HighestLoad = f.highest;
        target.LowestLoad = f.lowest;
    } else {
        // A load that stored nothing reports the offset it was given as its
        // lowest address.
        target.LowestLoad = std::size_t(f.offset < 0 ? -f.offset : f.offset);
    }
    if (replaceWhenLoaded && f.error == kLoaded) {
        fresh.BufferLastAddress = st.buf.BufferLastAddress;
        fresh.BufferChecksum = st.buf.BufferChecksum;
        st.buf = std::move(fresh);
    }
    report(st, f, fileName);
    closeProgress(window);
}

// ---------------------------------------------------------------------------
// Save

bool SaveFile(AppState& st, const QString& fileName) {
    const DeviceRecord* rec = st.dev();
    const int format = st.file.FileFormat;
    if (!rec || format < 0 || format > 5) return false;
    const std::uint64_t size = st.buf.DeviceBuffer.size();
    const std::uint64_t start = st.file.SaveStart, stop = st.file.SaveStop;
    // Intel HEX, S-records and binary write the Start - Stop range; the PIC
    // formats write the device's areas whole and ignore it.
    const bool rangeFormat = format <= 2;

    PicAreaMap pic;
    if (format == 3 || format == 4) {
        pic = picAreaMap(*rec);
        if (std::max<std::uint64_t>(pic.codeBytes, pic.end()) > size) {
            if (st.host)
                st.host->message("The memory image is too small for the areas of this device; nothing was saved.",
                                 "Save", BoxIcon::Exclamation);
            return false;
        }
    } else if (rangeFormat && (start > stop || stop >= size)) {
        if (st.host)
            st.host->message(QString::asprintf("Start and Stop must lie within 00000000 - %.8llX, Start not above Stop.",
                                               (unsigned long long)(size ? size - 1 : 0)),
                             "Save", BoxIcon::Exclamation);
        return false;
    }

    FileWriter out;
    if (CheckFileHandle(st, out.create(fileName))) return false;
    st.ErrorFlag = 0;
    if (rangeFormat) st.TransferCount = std::uint32_t(stop - start + 1);

    auto window = openProgress(st, " Saving File.......");
    const std::uint64_t ldb = loadDeviceBytes(*rec, st.OddEvenMode != 0);
    ProgressMeter meter(window, ldb);
    SaveFrame f{st, *rec, out, meter, st.buf.DeviceBuffer.data(), size, start, stop, ldb, pic};
    bool written = true;
    switch (format) {
    case 0: WriteIntelHex(f); break;
    case 1: WriteSRecords(f); break;
    case 2: WriteBinary(f); break;
    case 3: WriteInhx8m(f); break;
    case 4: WriteInhx16(f); break;
    case 5: written = SaveJedecFile(f); break;
    }
    const bool complete = out.finish();
    closeProgress(window);
    if (!written) {
        // Nothing of the image went into it; do not leave an empty file behind.
        if (QFileInfo(fileName).isFile() && QFileInfo(fileName).size() == 0) QFile::remove(fileName);
        return false;
    }
    if (!complete) {
        if (st.host) st.host->message("File ERROR", QString(), BoxIcon::Exclamation);
        return false;
    }
    return true;
}

}  // namespace tesmar
