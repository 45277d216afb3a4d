// JEDEC fuse-map files for PLDs: the fuse map of the image (one byte 0 or 1
// per fuse, by JEDEC fuse number) as fields that start with '*'. The writer
// lays the array out one device row per line; the reader takes the fields it
// knows (L fuses, QP and QF sizes, F default, G security, C checksum) and
// skips the rest up to the next '*'. A file is whole when it ends with its
// C field (files of this program) or with ETX (files of other tools).
#include <QString>
#include <algorithm>
#include <vector>

#include "families/Pld.h"
#include "families/PldGeometry.h"
#include "fileformats/FileFrame.h"
#include "operations/Report.h"

namespace tesmar {
namespace {

constexpr char kStx = 0x02, kEtx = 0x03;

// The C field's checksum. The writer and the reader take the same fuses
// (none past the fuse count), so a saved file always loads back.
std::uint32_t fuseChecksum(const std::uint8_t* map, std::uint64_t size, std::uint64_t fuses) {
    return pldFuseSum(map, std::size_t(size), std::size_t(fuses)) & 0xFFFF;
}

class JedecWriter {
public:
    JedecWriter(SaveFrame& f) : f_(f) {}

    void text(const QString& s) {
        const QByteArray b = s.toLatin1();
        f_.out.write(b.constData(), std::size_t(b.size()));
    }
    char fuseChar(std::uint64_t fuse) const { return fuse < f_.size && pldFuseBit(f_.buf[fuse]) ? '1' : '0'; }
    // "*L" with the first fuse's number, the fuses as '1'/'0', the line end.
    void line(std::uint64_t first, std::uint64_t count) {
        text(QString::asprintf("*L%.5llu ", static_cast<unsigned long long>(first)));
        for (std::uint64_t i = 0; i < count; ++i) {
            char* p = f_.out.reserve(1);
            *p = fuseChar(first + i);
            f_.out.commit(p + 1);
        }
        text("\r\n");
        f_.meter.update(std::int64_t(first + count));
    }
    std::uint8_t fuseByte(std::uint64_t first) const {
        std::uint8_t v = 0;
        for (int k = 0; k < 8; ++k)
            if (fuseChar(first + std::uint64_t(k)) == '1') v = std::uint8_t(v | (1u << k));
        return v;
    }

private:
    SaveFrame& f_;
};

// The UES as a note: printable bytes as text between double quotes, the
// others in hexadecimal. A '*' would open a field inside the note, so it is
// never written as text.
QString uesNote(const JedecWriter& w, const GalRow& g) {
    QString s = "*N UES";
    bool quoted = false;
    for (int b = 0; b < g.uesBytes; ++b) {
        const std::uint8_t v = w.fuseByte(std::uint64_t(g.uesFuse) + 8u * std::uint64_t(b));
        if (v >= 0x20 && v <= 0x7E && v != '*') {
            if (!quoted) s += " \"";
            quoted = true;
            s += QChar(char16_t(v));
        } else {
            if (quoted) s += '"';
            quoted = false;
            s += QString::asprintf(" %.2X ", unsigned(v));
        }
    }
    if (quoted) s += '"';
    return s + "\r\n";
}

}  // namespace

bool SaveJedecFile(SaveFrame& f) {
    const DeviceRecord& rec = f.rec;
    const GalRow* g = pldGeometry(rec);
    if (!g) return false;
    AppState& st = f.st;
    st.pld.PldType = rec.Algorithm;
    JedecWriter w(f);
    f.out.write("\x02\r\nJedec File for ", 18);
    // The name field as stored (name, NUL and what follows); a '*' there
    // would end the header early.
    char name[19];
    for (std::size_t i = 0; i < sizeof name; ++i) name[i] = rec.Raw[2 + i] == '*' ? ' ' : char(rec.Raw[2 + i]);
    f.out.write(name, sizeof name);
    w.text(QString::asprintf("\r\n*QP%d\r\n*QF%d\r\n*QV0\r\n*F0\r\n*G0\r\n*X0\r\n", int(rec.PinCount), g->fuses));

    std::uint64_t next = 0;
    if (pldWideArray(rec)) {
        for (int i = 0; i < kWideArrayLines; ++i, next += kWideArrayFuses) w.line(next, kWideArrayFuses);
        for (int i = 0; i < kNarrowArrayLines; ++i, next += kNarrowArrayFuses) w.line(next, kNarrowArrayFuses);
    } else {
        for (int i = 0; i < g->rowBits; ++i, next += std::uint64_t(g->rows)) w.line(next, std::uint64_t(g->rows));
    }
    const std::uint64_t ues = std::uint64_t(g->uesFuse), uesEnd = ues + 8u * std::uint64_t(g->uesBytes);
    if (next < ues) {
        w.line(next, ues - next);  // configuration fuses between the array and the UES
        next = ues;
    }
    w.text(uesNote(w, *g));
    w.line(ues, uesEnd - ues);
    next = std::max(next, uesEnd);
    if (next < std::uint64_t(g->fuses)) w.line(next, std::uint64_t(g->fuses) - next);

    QString pes = "*N PES";
    const std::size_t pesBytes = std::min<std::size_t>(std::size_t(g->pesBits / 8), st.pld.PldSignature.size());
    for (std::size_t i = 0; i < pesBytes; ++i) pes += QString::asprintf(" %.2X", unsigned(st.pld.PldSignature[i]));
    w.text(pes + "\r\n");
    w.text(QString::asprintf("*C%.4X\r\n", unsigned(fuseChecksum(f.buf, f.size, std::uint64_t(g->fuses)))));
    return true;
}

// ---------------------------------------------------------------------------
// Reader

namespace {

enum class State {
    FieldStart, Skip, Header, LFirst, LDigits, LFuses, Q, QPFirst, QPDigits, QFFirst, QFDigits, AfterNumber,
    G, F, CFirst, CDigits,
};

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

struct JedecReader {
    JedecReader(LoadFrame& frame, const GalRow& row)
        : f(frame), fuses(std::min<std::int64_t>(row.fuses, std::int64_t(frame.view))),
          listed(std::size_t(row.fuses), false) {}

    LoadFrame& f;
    // Fuses an L field may set: the device's, never one past them (the
    // checksum and Save leave those out, and some would reach spare cells).
    std::int64_t fuses;
    State state = State::FieldStart;
    std::int64_t address = 0;        // the L address: the next fuse of the field
    std::int64_t qp = 0, qf = 0;
    bool qpGiven = false, qfGiven = false;
    std::uint32_t given = 0;         // the C field's checksum
    bool checksumField = false;      // a C field with its digits came
    bool etx = false;                // the transmission ended with ETX
    bool fuseField = false;          // an L field with its number came
    bool outOfRange = false;         // a number beyond what it can stand for
    int defaultFuse = -1;            // the F field's value
    std::uint8_t secure = 0;         // the G field's value
    std::vector<bool> listed;        // fuses of the device that an L field set

    // Takes one character; false when the field it stands in rejects it.
    bool take(int c);
    bool inFuseField() const { return state == State::LFirst || state == State::LDigits || state == State::LFuses; }
    bool number(std::int64_t& value, int digit, std::int64_t limit) {
        value = value * 10 + digit;
        if (value <= limit) return true;
        outOfRange = true;
        return false;
    }
};

bool JedecReader::take(int c) {
    if (c == '*') {
        state = State::FieldStart;
        return true;
    }
    const bool blank = isBlank(c), digit = isDigit(c);
    switch (state) {
    case State::FieldStart:
        if (blank) return true;
        switch (c) {
        case kStx: state = State::Header; break;
        case kEtx: etx = true; break;
        case 'L': address = 0, state = State::LFirst; break;
        case 'Q': state = State::Q; break;
        case 'G': state = State::G; break;
        case 'C': state = State::CFirst; break;
        case 'F': state = State::F; break;
        default: state = State::Skip; break;
        }
        return true;
    case State::Skip:
    case State::Header:
        if (c == kEtx) etx = true;
        return true;
    case State::LFirst:
    case State::LDigits:
        if (digit) {
            state = State::LDigits;
            return number(address, c - '0', fuses - 1);
        }
        if (blank && state == State::LDigits) {
            fuseField = true;
            state = State::LFuses;
            return true;
        }
        return false;
    case State::LFuses:
        if (blank) return true;
        if (c != '0' && c != '1') return false;
        if (address >= fuses) {
            outOfRange = true;
            return false;
        }
        f.buf[address] = std::uint8_t(c - '0');
        listed[std::size_t(address)] = true;
        ++address;
        f.meter.update(address);
        return true;
    case State::Q:
        if (blank) return true;
        if (c == 'P') qp = 0, state = State::QPFirst;
        else if (c == 'F') qf = 0, state = State::QFFirst;
        else state = State::FieldStart;
        return true;
    case State::QPFirst:
    case State::QFFirst:
    case State::QPDigits:
    case State::QFDigits: {
        const bool isQp = state == State::QPFirst || state == State::QPDigits;
        const bool first = state == State::QPFirst || state == State::QFFirst;
        if (digit) {
            if (first) (isQp ? qp : qf) = 0;
            (isQp ? qpGiven : qfGiven) = true;
            state = isQp ? State::QPDigits : State::QFDigits;
            return isQp ? number(qp, c - '0', 255) : number(qf, c - '0', std::int64_t(f.view));
        }
        if (blank) {
            if (!first) state = State::AfterNumber;
            return true;
        }
        return false;
    }
    case State::AfterNumber:
        return blank;
    case State::G:
    case State::F:
        if (blank) return true;
        if (c != '0' && c != '1') return false;
        if (state == State::G) secure = std::uint8_t(c - '0');
        else defaultFuse = c - '0';
        state = State::Skip;
        return true;
    case State::CFirst:
    case State::CDigits: {
        const int v = kHexDigitValue[std::uint8_t(c)];
        if (v >= 0) {
            given = (state == State::CFirst ? 0 : given * 16) + std::uint32_t(v);
            state = State::CDigits;
            checksumField = true;
            if (given > 0xFFFF) outOfRange = true;  // a fuse checksum has four digits
            return !outOfRange;
        }
        if (blank) {
            if (state == State::CDigits) state = State::FieldStart;
            return true;
        }
        return false;
    }
    }
    return false;
}

void fileError(LoadFrame& f) {
    memo(f.st, " File Error , Aborted");
    f.error = kReadFailed;
}

}  // namespace

void LoadJedecFile(LoadFrame& f) {
    AppState& st = f.st;
    const DeviceRecord& rec = f.rec;
    st.pld.PldType = rec.Algorithm;
    const GalRow* g = pldGeometry(rec);
    if (!g) {
        memo(st, " File NOT for Selected Device !!");
        f.error = kReadFailed;
        return;
    }
    // Fuses the file does not list keep the erased value: the load starts
    // from an erased map of its own (LoadFile).
    JedecReader r(f, *g);

    bool rejected = false;
    // Nothing after ETX belongs to the transmission (its own checksum follows).
    for (int c; !rejected && !r.etx && (c = f.in.get()) >= 0;) rejected = !r.take(c);
    if (!rejected && !r.etx && f.in.readFailed()) {
        f.readFailed();
    } else if (r.outOfRange) {
        fileError(f);
    } else if (!r.fuseField) {
        f.error = kNotJedec;
    } else if ((r.qpGiven && r.qp != rec.PinCount) || (r.qfGiven && r.qf != g->fuses)) {
        memo(st, " File NOT for Selected Device !!");
        f.error = kReadFailed;
    } else if (!rejected && (r.inFuseField() || (!r.checksumField && !r.etx))) {
        // The file stops inside a fuse list, or before the C field or the
        // ETX that end a whole file: it was cut short, and the fuses after
        // the cut would load as blank ones.
        memo(st, " File incomplete: it ends before its C field or ETX");
        fileError(f);
    } else if (rejected && r.qf != r.address) {
        // Parsing stopped early and the fuses read do not reach the count given.
        fileError(f);
    } else {
        if (r.defaultFuse >= 0)
            for (std::size_t i = 0; i < r.listed.size(); ++i)
                if (!r.listed[i]) f.buf[i] = std::uint8_t(r.defaultFuse);
        const std::uint32_t calculated = fuseChecksum(f.buf, f.view, std::uint64_t(g->fuses));
        if (!rejected && r.given != 0 && r.given != calculated) {
            memo(st, "");
            memo(st, QString::asprintf(" Checksum given %.4X calculated %.4X", unsigned(r.given), unsigned(calculated)));
            f.error = kChecksumError;
        }
    }
    // The security field goes with the map: a file that did not load leaves
    // both as they were.
    if (f.error != kLoaded) return;
    st.pld.PldSecureFlag = r.secure;
    notePldUntransferredFuses(st);
}

}  // namespace tesmar
