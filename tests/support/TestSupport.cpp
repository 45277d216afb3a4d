#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "app/StoreFormat.h"
#include "devices/DeviceDataFile.h"

namespace tesmar::test {

void RecorderHost::memoAdd(const QString& line) { std::lock_guard l(m_); lines_ << line; }
void RecorderHost::memoClear() { std::lock_guard l(m_); lines_.clear(); }
void RecorderHost::setGauge(int maximum, int position) {
    std::lock_guard l(m_);
    gaugeMax_ = maximum;
    gaugePos_ = position;
}
void RecorderHost::setProgressCaption(const QString& caption) { std::lock_guard l(m_); captions_ << caption; }
void RecorderHost::closeProgress() { std::lock_guard l(m_); ++closes_; }
Answer RecorderHost::askAbortRetryIgnore(const QString& text, const QString& caption) {
    std::lock_guard l(m_);
    questions_ << caption + "|" + text;
    if (answers_.empty()) return Answer::Ignore;
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
}
void RecorderHost::message(const QString& text, const QString& caption, BoxIcon) {
    std::lock_guard l(m_);
    messages_ << caption + "|" + text;
}
bool RecorderHost::playSound(Sound sound) {
    std::lock_guard l(m_);
    if (!soundWorks) return false;
    sounds_.push_back(sound);
    return true;
}
void RecorderHost::showChecksum(const QString& text) { std::lock_guard l(m_); checksum_ = text; }
void RecorderHost::queueAnswer(Answer a) { std::lock_guard l(m_); answers_.push_back(a); }
QStringList RecorderHost::lines() const { std::lock_guard l(m_); return lines_; }
QStringList RecorderHost::captions() const { std::lock_guard l(m_); return captions_; }
QStringList RecorderHost::messages() const { std::lock_guard l(m_); return messages_; }
QStringList RecorderHost::questions() const { std::lock_guard l(m_); return questions_; }
std::vector<Sound> RecorderHost::sounds() const { std::lock_guard l(m_); return sounds_; }
int RecorderHost::closeCount() const { std::lock_guard l(m_); return closes_; }
QString RecorderHost::checksum() const { std::lock_guard l(m_); return checksum_; }
int RecorderHost::gaugeMax() const { std::lock_guard l(m_); return gaugeMax_; }
int RecorderHost::gaugePos() const { std::lock_guard l(m_); return gaugePos_; }

QString runDir() { return QStringLiteral(TESMAR_RUN_DIR); }
QString dataDir() { return QStringLiteral(TESMAR_DATA_DIR); }

std::vector<DeviceRecord> sampleRecords(const char* file, const std::function<bool(const DeviceRecord&)>& want) {
    std::vector<DeviceRecord> out;
    DeviceDataFile f;
    if (!f.open(QDir(runDir()).filePath(file).toStdString())) return out;
    for (int m = 0; m < f.manufacturerCount(); ++m)
        for (int d = 0; d < int(f.deviceNames(m).size()); ++d)
            if (auto rec = f.record(m, d); rec && want(*rec)) out.push_back(*rec);
    return out;
}

TempSettings::TempSettings() {
    // The store's own format takes the INI format's folders and is the default one.
    store::format();
    for (auto fmt : {QSettings::NativeFormat, QSettings::IniFormat})
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(fmt, scope, dir_.path());
}

TempSettings::~TempSettings() = default;

void onNextModal(std::function<void(QWidget*)> fn, const char* type) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    const std::string want = type ? type : "";
    QObject::connect(timer, &QTimer::timeout, [timer, fn, want] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) return;
        if (!want.empty() && want != w->metaObject()->className()) return;
        timer->stop();
        timer->deleteLater();
        fn(w);
    });
    timer->start();
}

MessageBoxAnswerer::MessageBoxAnswerer(int button) : button_(button), timer_(new QTimer(this)) {
    timer_->setInterval(5);
    QObject::connect(timer_, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    timer_->start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() = default;

void MessageBoxAnswerer::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    const QString seen = box->windowTitle() + "|" + box->text();
    seen_ << seen;
    if (beforeAnswer) beforeAnswer(seen);
    QAbstractButton* b = box->button(QMessageBox::StandardButton(button_));
    if (!b) b = box->buttons().isEmpty() ? nullptr : box->buttons().first();
    if (b)
        b->click();
    else
        box->done(0);
}

void tickBox(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

int contrastIn(const QImage& image, const QRect& area, QPoint background) {
    const int ground = qGray(image.pixel(background));
    int most = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) most = std::max(most, std::abs(qGray(image.pixel(x, y)) - ground));
    return most;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace tesmar::test
