// tesmar_gendata <data dir> <output dir>
//
// Builds the program folder's data from the readable sample data: the five
// family data files, the IC tester database All.usb, stand-in bitstreams and
// firmware in usbf/ and usbm/, and the three sound files. Exits non-zero with
// "<file>:<line>: <message>" on malformed input.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "DeviceText.h"
#include "Firmware.h"
#include "IcText.h"

namespace fs = std::filesystem;
using namespace gendata;

namespace {

struct FamilyFileName {
    const char* base;     // data/devices/<base>.txt -> <base>.usb
    const char* letters;  // the family letters that belong in this file
};

constexpr FamilyFileName kFamilyFiles[] = {
    {"zrvusb_r", "ROLY"}, {"zrvusb_e", "EFLY"}, {"zrvusb_s", "SLY"}, {"zrvusb_m", "MCLY"}, {"zrvusb_p", "PLY"},
};

const char* const kTesterBitstreams[] = {"IC14p", "IC16p", "IC18p", "IC20p", "IC24p"};
const char* const kTesterFirmware = "ic_test";

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error(path.string() + ": cannot be written");
}

int run(const fs::path& dataDir, const fs::path& outDir) {
    // Read and check everything before the first file is written.
    std::vector<FamilyText> families;
    for (const auto& f : kFamilyFiles) {
        families.push_back(readFamilyText((dataDir / "devices" / (std::string(f.base) + ".txt")).string()));
        for (const auto& m : families.back().manufacturers)
            for (const auto& d : m.devices)
                if (std::string(f.letters).find(d.family) == std::string::npos)
                    d.where.fail(std::string("family '") + d.family + "' does not belong in " + f.base + ".usb");
    }

    std::vector<fs::path> icFiles;
    if (fs::is_directory(dataDir / "ictest"))
        for (const auto& e : fs::directory_iterator(dataDir / "ictest"))
            if (e.path().extension() == ".txt") icFiles.push_back(e.path());
    std::sort(icFiles.begin(), icFiles.end());
    std::vector<IcGroup> groups;
    for (const auto& p : icFiles) {
        auto more = readIcText(p.string());
        groups.insert(groups.end(), more.begin(), more.end());
    }
    const auto allUsb = encodeIcDatabase(groups);

    const auto firmware = readFirmwareList((dataDir / "firmware.txt").string());
    std::map<std::pair<bool, std::string>, const FirmwareFile*> listed;
    for (const auto& f : firmware) listed[{f.fpga, f.name}] = &f;
    std::set<std::pair<bool, std::string>> used;
    // at is null for the tester's own files, which no line of the data names.
    const auto need = [&](bool fpga, const std::string& name, const Location* at) {
        if (!listed.count({fpga, name})) {
            const std::string what =
                std::string(fpga ? "bitstream \"" : "firmware \"") + name + "\" is not listed in firmware.txt";
            if (at) at->fail(what);
            throw InputError((dataDir / "firmware.txt").string() + ": " + what);
        }
        used.insert({fpga, name});
    };
    for (const auto& family : families)
        for (const auto& m : family.manufacturers)
            for (const auto& d : m.devices) {
                need(true, d.fpgaFile, &d.where);
                need(false, d.mcuFile, &d.where);
            }
    for (const char* name : kTesterBitstreams) need(true, name, nullptr);
    need(false, kTesterFirmware, nullptr);
    for (const auto& f : firmware)
        if (!used.count({f.fpga, f.name})) f.where.fail("\"" + f.name + "\" is listed but no device uses it");

    fs::create_directories(outDir / "usbf");
    fs::create_directories(outDir / "usbm");
    // usbf/ and usbm/ hold only what the list names: a stand-in left from an
    // earlier list would hide a name that is no longer listed.
    for (const char* sub : {"usbf", "usbm"})
        for (const auto& e : fs::directory_iterator(outDir / sub)) {
            const bool fpga = std::string(sub) == "usbf";
            const std::string ext = e.path().extension().string();
            if (ext == (fpga ? ".rbf" : ".bin") && !listed.count({fpga, e.path().stem().string()}))
                fs::remove(e.path());
        }
    for (std::size_t i = 0; i < families.size(); ++i)
        writeFile(outDir / (std::string(kFamilyFiles[i].base) + ".usb"), encodeFamilyFile(families[i]));
    writeFile(outDir / "All.usb", allUsb);
    for (const auto& f : firmware)
        writeFile(outDir / (f.fpga ? "usbf" : "usbm") / (f.name + (f.fpga ? ".rbf" : ".bin")),
                  standInContent(f.name, f.size));
    // A rising pair for success, a low buzz for failure, one short ping for notes.
    writeFile(outDir / "chimes.wav", waveFile({{1046.5, 140}, {1318.5, 220}}));
    writeFile(outDir / "error.wav", waveFile({{196.0, 180}, {0, 60}, {196.0, 180}}));
    writeFile(outDir / "notify.wav", waveFile({{784.0, 120}}));

    std::size_t devices = 0;
    for (const auto& family : families)
        for (const auto& m : family.manufacturers) devices += m.devices.size();
    std::size_t ics = 0;
    for (const auto& g : groups) ics += g.ics.size();
    std::cout << "tesmar_gendata: " << devices << " devices, " << ics << " ICs in " << groups.size()
              << " groups, " << firmware.size() << " firmware files -> " << outDir.string() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tesmar_gendata <data dir> <output dir>\n";
        return 2;
    }
    try {
        return run(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "tesmar_gendata: " << e.what() << "\n";
        return 1;
    }
}
