// The configuration pages of every sample record, without windows: the
// dialog opens on values from the input (fuses, locks, calibration, serial
// status, the PIC configuration and ID bytes), then the user switches tabs,
// clicks, picks items and types as the input says (common/HeadlessPages.h).
// The pages must never write outside what they edit: a PIC page only its
// configuration and ID bytes of the image, a memory-protection or
// microcontroller page no image byte at all and only the values its shown
// controls stand for (the calibration group's values with it). Opening a
// page, a look, changes no setting at all.
//
// Input: record (2 bytes, little endian, modulo the records with a page),
// a flag byte (bit 0: the values below replace what the selection left),
// FuseLow, FuseHigh, FuseExt, LockBits, SecurityByte, CalibrationIndex,
// CalibrationValue, ProgramCalibration, SerialFlashStatus, SdpEnable,
// CalibrationAddress (2 bytes), CalibrationBytes (4), 16 configuration
// bytes and 8 ID bytes (PIC image places), then actions: a byte whose value
// modulo 8 is 0 switches to the tab the next byte picks; any other acts on
// the reachable control the next byte picks, with the bytes that act takes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "common/FuzzRig.h"
#include "common/HeadlessPages.h"
#include "config/ConfigPages.h"
#include "devices/BufferLayout.h"
#include "families/Pic18.h"

using namespace tesmar;
using namespace tesmar::fuzz;
using config::ConfigGlobal;

namespace {

constexpr int kMaxActions = 64;

const ImageBuffer& selected(std::size_t index) {
    static std::map<std::size_t, ImageBuffer> cache;
    auto [it, fresh] = cache.try_emplace(index);
    if (fresh) {
        const DeviceRecord& rec = configPageRecords()[index];
        selectionImage(it->second, rec);
    }
    return it->second;
}

// The image bytes a PIC page edits: the ID area and the configuration area,
// whole words of it on the word-wide layouts.
struct Span {
    std::size_t from, to;
};
std::vector<Span> picOwned(const DeviceRecord& rec) {
    const PicAreas a = picAreas(rec);
    std::uint32_t configLen = a.config.len;
    if (a.kind != PicKind::Pic18) configLen = (configLen + 1) & ~1u;
    return {{a.id.buf, std::size_t(a.id.buf) + a.id.len}, {a.config.buf, std::size_t(a.config.buf) + configLen}};
}

bool inside(const std::vector<Span>& spans, std::size_t at) {
    return std::any_of(spans.begin(), spans.end(), [at](const Span& s) { return at >= s.from && at < s.to; });
}

// The fields of McuConfig by name, for the comparisons.
std::map<std::string, long long> fields(const McuConfig& m) {
    std::map<std::string, long long> f = {
        {"FuseLow", m.FuseLow},
        {"FuseHigh", m.FuseHigh},
        {"FuseExt", m.FuseExt},
        {"LockBits", m.LockBits},
        {"SecurityByte", m.SecurityByte},
        {"CalibrationIndex", m.CalibrationIndex},
        {"CalibrationValue", m.CalibrationValue},
        {"CalibrationAddress", m.CalibrationAddress},
        {"ProgramCalibration", m.ProgramCalibration},
        {"CalibrationRead", m.CalibrationRead},
        {"FusesRead", m.FusesRead},
        {"CurrentArea", m.CurrentArea},
        {"SdpEnable", m.SdpEnable},
        {"SerialFlashStatus", m.SerialFlashStatus},
        {"SerialFlashStatus2", m.SerialFlashStatus2},
        {"McuConfigKnown", m.McuConfigKnown},
    };
    for (std::size_t i = 0; i < m.CalibrationBytes.size(); ++i)
        f["CalibrationBytes[" + std::to_string(i) + "]"] = m.CalibrationBytes[i];
    return f;
}

const char* globalName(ConfigGlobal g) {
    switch (g) {
    case ConfigGlobal::SerialFlashStatus: return "SerialFlashStatus";
    case ConfigGlobal::SdpEnable: return "SdpEnable";
    case ConfigGlobal::FuseLow: return "FuseLow";
    case ConfigGlobal::FuseHigh: return "FuseHigh";
    case ConfigGlobal::FuseExt: return "FuseExt";
    case ConfigGlobal::LockBits: return "LockBits";
    case ConfigGlobal::SecurityByte: return "SecurityByte";
    case ConfigGlobal::CalibrationIndex: return "CalibrationIndex";
    case ConfigGlobal::CalibrationValue: return "CalibrationValue";
    case ConfigGlobal::ProgramCalibration: return "ProgramCalibration";
    }
    return "?";
}

// The values a page edits: those its shown controls stand for, and with a
// calibration control the calibration choice, value and address.
std::set<std::string> ownedGlobals(const HeadlessPages& p) {
    std::set<std::string> owned;
    for (const config::ControlRow* row : p.shownRows())
        if (row->target.kind == config::Target::Kind::Global) owned.insert(globalName(row->target.global()));
    if (owned.count("ProgramCalibration") || owned.count("CalibrationIndex"))
        owned.insert({"ProgramCalibration", "CalibrationIndex", "CalibrationValue", "CalibrationAddress"});
    return owned;
}

std::string where(const DeviceRecord& rec) {
    return rec.Name + " (page code " + std::to_string(rec.PageCode) + ")";
}

void compareMcu(const McuConfig& before, const McuConfig& after, const std::set<std::string>& owned,
                const DeviceRecord& rec, const char* when) {
    const auto a = fields(before), b = fields(after);
    for (const auto& [name, v] : a)
        if (b.at(name) != v && !owned.count(name))
            fail((std::string(when) + " " + where(rec) + " changed " + name + ", which the page does not edit: " +
                  std::to_string(v) + " -> " + std::to_string(b.at(name)))
                     .c_str());
}

void compareImage(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                  std::vector<Span> owned, const DeviceRecord& rec, const char* when) {
    if (before.size() != after.size()) fail((std::string(when) + " " + where(rec) + " resized the image").c_str());
    std::sort(owned.begin(), owned.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
    owned.push_back({before.size(), before.size()});
    std::size_t pos = 0;
    for (const Span& o : owned) {
        const std::size_t end = std::min(o.from, before.size());
        if (pos < end && std::memcmp(before.data() + pos, after.data() + pos, end - pos) != 0) {
            while (before[pos] == after[pos]) ++pos;
            char at[32];
            std::snprintf(at, sizeof at, "0x%zX", pos);
            fail((std::string(when) + " " + where(rec) + " wrote image byte " + at + ", outside what the page edits")
                     .c_str());
        }
        pos = std::max(pos, o.to);
    }
}

// Every write a page makes is checked as it happens, so the row that made it is known.
void watch(HeadlessPages& p, const DeviceRecord& rec, const std::vector<Span>& image,
           const std::set<std::string>* globals) {
    p.onImageWrite = [&rec, image](std::size_t at) {
        if (!inside(image, at)) {
            char s[32];
            std::snprintf(s, sizeof s, "0x%zX", at);
            fail((where(rec) + " writes image byte " + s + ", outside its configuration and ID areas").c_str());
        }
    };
    p.onGlobalWrite = [&rec, globals](ConfigGlobal g) {
        if (!globals || !globals->count(globalName(g)))
            fail((where(rec) + " writes " + globalName(g) + ", which the page does not edit").c_str());
    };
}

// A look at a page changes no setting. A microcontroller or memory page
// leaves every value as it was, but page 208, which starts from no security
// bit until the user has set some; a PIC page every bit its part implements
// and every ID byte.
void lookChangedNothing(const McuConfig& before, const McuConfig& after, const std::vector<std::uint8_t>& imageBefore,
                        const std::vector<std::uint8_t>& imageAfter, const DeviceRecord& rec) {
    if (rec.FamilyLetter != 'C') {
        std::set<std::string> started;
        if (rec.PageCode == 208 && !before.McuConfigKnown) started.insert("SecurityByte");
        compareMcu(before, after, started, rec, "a look at");
        return;
    }
    const PicAreas a = picAreas(rec);
    std::vector<std::uint8_t> mask(rec.ConfigMasks.begin(), rec.ConfigMasks.begin() + rec.ConfigMaskCount);
    if (rec.isPic18()) {
        const Pic18Mask m = pic18MaskFor(rec.PageCode);
        mask.assign(m.begin(), m.end());
    }
    for (std::size_t k = 0; k < mask.size() && k < a.config.len; ++k) {
        const std::size_t at = a.config.buf + k;
        if (at < imageBefore.size() && ((imageBefore[at] ^ imageAfter[at]) & mask[k]))
            fail((where(rec) + ": a look changed configuration byte " + std::to_string(k)).c_str());
    }
    for (std::size_t at = a.id.buf; at < std::size_t(a.id.buf) + a.id.len && at < imageBefore.size(); ++at)
        if (imageBefore[at] != imageAfter[at]) fail((where(rec) + ": a look changed an ID byte").c_str());
}

std::unique_ptr<HeadlessPages> open(AppState& st, const DeviceRecord& rec) {
    return rec.FamilyLetter == 'C' ? openPicPage(st) : openConfigPage(st);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startQt(argc, argv);
    if (verbose()) std::fprintf(stderr, "fuzz: %zu records with a page\n", configPageRecords().size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script s(data, size);
    const std::size_t index = (s.byte() | std::size_t(s.byte()) << 8) % configPageRecords().size();
    const DeviceRecord& rec = configPageRecords()[index];
    const bool fromInput = s.byte() & 1;

    AppState st;
    st.CurrentDevice = std::make_shared<const DeviceRecord>(rec);
    st.buf = selected(index);
    McuConfig values;
    values.FuseLow = s.byte();
    values.FuseHigh = s.byte();
    values.FuseExt = s.byte();
    values.LockBits = s.byte();
    values.SecurityByte = s.byte();
    values.CalibrationIndex = s.byte();
    values.CalibrationValue = s.byte();
    values.ProgramCalibration = s.byte();
    values.SerialFlashStatus = s.byte();
    values.SdpEnable = s.byte();
    values.CalibrationAddress = s.byte() | std::uint32_t(s.byte()) << 8;
    for (auto& b : values.CalibrationBytes) b = s.byte();
    std::uint8_t configBytes[16], idBytes[8];
    for (auto& b : configBytes) b = s.byte();
    for (auto& b : idBytes) b = s.byte();
    if (fromInput) {
        st.mcu = values;
        if (rec.FamilyLetter == 'C') {
            const PicAreas a = picAreas(rec);
            for (std::uint32_t k = 0; k < std::min<std::uint32_t>(a.config.len, 16); ++k)
                if (a.config.buf + k < st.buf.size()) st.buf.DeviceBuffer[a.config.buf + k] = configBytes[k];
            for (std::uint32_t k = 0; k < std::min<std::uint32_t>(a.id.len, 8); ++k)
                if (a.id.buf + k < st.buf.size()) st.buf.DeviceBuffer[a.id.buf + k] = idBytes[k];
        }
    }

    const bool pic = rec.FamilyLetter == 'C';
    const std::vector<Span> image = pic ? picOwned(rec) : std::vector<Span>{};
    const std::vector<std::uint8_t> imageBefore = st.buf.DeviceBuffer;
    const McuConfig mcuBefore = st.mcu;

    // The opening: a page writes what its controls show as they are set.
    auto page = open(st, rec);
    if (!page) return 0;
    const std::set<std::string> globals = pic ? std::set<std::string>{} : ownedGlobals(*page);
    compareImage(imageBefore, st.buf.DeviceBuffer, image, rec, "opening");
    compareMcu(mcuBefore, st.mcu, globals, rec, "opening");
    lookChangedNothing(mcuBefore, st.mcu, imageBefore, st.buf.DeviceBuffer, rec);
    watch(*page, rec, image, &globals);

    for (int n = 0; n < kMaxActions && !s.empty(); ++n) {
        if (s.byte() % 8 == 0) {
            page->switchTab(s.byte());
            if (verbose()) std::fprintf(stderr, "tab %d\n", page->currentSheet());
        } else if (page->act(s) && verbose()) {
            const auto& a = page->lastAction;
            std::string line = a.name;
            if (a.item >= 0) line += " item " + std::to_string(a.item);
            for (const std::string& t : a.texts) line += " \"" + t + "\"";
            std::fprintf(stderr, "%s%s\n", line.c_str(), page->lastSaid.empty() ? "" : (" | " + page->lastSaid).c_str());
        }
    }
    compareImage(imageBefore, st.buf.DeviceBuffer, image, rec, "using");
    compareMcu(mcuBefore, st.mcu, globals, rec, "using");

    // A second look at the page, on what the first left, changes nothing.
    page.reset();
    open(st, rec);
    const std::vector<std::uint8_t> imageSeen = st.buf.DeviceBuffer;
    const McuConfig mcuSeen = st.mcu;
    compareImage(imageBefore, imageSeen, image, rec, "opening after use");
    compareMcu(mcuBefore, mcuSeen, globals, rec, "opening after use");
    open(st, rec);
    compareImage(imageSeen, st.buf.DeviceBuffer, {}, rec, "opening again");
    compareMcu(mcuSeen, st.mcu, {}, rec, "opening again");
    return 0;
}
