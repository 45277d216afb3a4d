#include "common/FuzzRig.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devices/BufferLayout.h"
#include "devices/DeviceDataFile.h"

namespace tesmar::fuzz {

namespace {

const char* const kFamilyFiles[] = {"zrvusb_r.usb", "zrvusb_e.usb", "zrvusb_s.usb", "zrvusb_m.usb", "zrvusb_p.usb"};

struct Sample {
    std::string file;
    DeviceRecord rec;
};

const std::vector<Sample>& samples() {
    static const std::vector<Sample> all = [] {
        std::vector<Sample> v;
        for (const char* name : kFamilyFiles) {
            DeviceDataFile f;
            if (!f.open(runDir() + "/" + name)) {
                std::fprintf(stderr, "fuzz: cannot read %s/%s\n", runDir().c_str(), name);
                std::abort();
            }
            for (int m = 0; m < f.manufacturerCount(); ++m)
                for (int d = 0; d < int(f.deviceNames(m).size()); ++d)
                    if (auto rec = f.record(m, d)) v.push_back({name, *rec});
        }
        return v;
    }();
    return all;
}

void show(const char* kind, const QString& text) {
    if (verbose()) std::fprintf(stderr, "%s%s\n", kind, text.toLocal8Bit().constData());
}

}  // namespace

std::string runDir() { return TESMAR_FUZZ_RUN_DIR; }

void startQt(int* argc, char*** argv) {
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    (void)app;
}

const std::vector<DeviceRecord>& sampleRecords() {
    static const std::vector<DeviceRecord> records = [] {
        std::vector<DeviceRecord> v;
        for (const Sample& s : samples()) v.push_back(s.rec);
        return v;
    }();
    return records;
}

const DeviceRecord& sampleRecord(const char* familyFile, const char* name) {
    for (const Sample& s : samples())
        if (s.file == familyFile && s.rec.Name == name) return s.rec;
    std::fprintf(stderr, "fuzz: the sample data has no %s in %s\n", name, familyFile);
    std::abort();
}

bool verbose() {
    static const bool on = [] {
        const char* v = std::getenv("TESMAR_FUZZ_VERBOSE");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    return on;
}

void ScriptedHost::memoAdd(const QString& line) { show("", line); }

Answer ScriptedHost::askAbortRetryIgnore(const QString& text, const QString& caption) {
    show("[?] ", caption + "|" + text);
    if (!script_) return Answer::Abort;
    switch (script_->byte() % 4) {
    case 1: return Answer::Retry;
    case 2: return Answer::Ignore;
    case 3: return Answer::Other;
    default: return Answer::Abort;
    }
}

void ScriptedHost::message(const QString& text, const QString& caption, BoxIcon) {
    show("[box] ", caption + "|" + text);
}

void selectionImage(ImageBuffer& buf, const DeviceRecord& rec) {
    allocateForSelection(buf, rec);
    prefillErased(buf, rec);
    if (rec.isPic18()) SetPic18DefaultConfig(buf, rec);
}

QString tempPath(const char* name) {
    static QTemporaryDir dir;
    if (!dir.isValid()) fail("no temporary folder");
    return dir.filePath(name);
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

}  // namespace tesmar::fuzz
