#include "app/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace tesmar {

bool fileExists(const std::string& path) {
    QFileInfo fi(QString::fromStdString(path));
    return fi.exists() && fi.isFile();
}

std::string resolveFile(const std::string& dir, const std::string& name) {
    // Names come from data files and stay inside their folder: a name that
    // reaches into another folder is taken as a missing file.
    if (name.find_first_of("/\\") != std::string::npos) {
        std::string flat = name;
        for (char& c : flat)
            if (c == '/' || c == '\\') c = '_';
        return dir + flat;
    }
    const std::string exact = dir + name;
    if (fileExists(exact)) return exact;
    const QDir d(QString::fromStdString(dir));
    const QString want = QString::fromStdString(name);
    for (const QString& entry : d.entryList(QDir::Files)) {
        if (entry.compare(want, Qt::CaseInsensitive) == 0) return dir + entry.toStdString();
    }
    return exact;
}

}  // namespace tesmar
