// The store's file as Qt's INI reader takes it apart, held against that
// reader itself: every way of spelling a value Qt rebuilds from data (here
// harmless ones: "@Rect(1 2 3 4)" becomes a QRect) is found and taken out
// before Qt sees it, texts Qt leaves as texts are left alone, and the texts
// read agree with Qt's over random files made of the format's awkward parts.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include "app/StoreText.h"
#include "robustness/Fuzz.h"
#include "support/TestSupport.h"

using namespace tesmar;

namespace {

// Qt's reading of `bytes`, from a path no QSettings of this process has read.
class QtReading {
public:
    explicit QtReading(const QByteArray& bytes) {
        static int serial = 0;
        path_ = dir_.filePath(QString("s%1.conf").arg(++serial));
        EXPECT_TRUE(test::writeFile(path_, bytes));
        s_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    }
    // The keys whose value Qt did not hand out as a text or a list of texts
    // (a key Qt cannot look up again, such as one that starts with '/',
    // reads as no value and is not counted).
    QStringList rebuilt() const {
        QStringList keys;
        for (const QString& k : s_->allKeys()) {
            if (QString(k).remove(u'/').isEmpty()) continue;
            const QVariant v = s_->value(k);
            if (v.isValid() && v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QStringList) keys << k;
        }
        return keys;
    }
    QStringList keys() const { return s_->allKeys(); }
    QSettings& operator*() { return *s_; }

private:
    inline static QTemporaryDir dir_;
    QString path_;
    std::unique_ptr<QSettings> s_;
};

constexpr char kPayload[] = "@Rect(1 2 3 4)";

QByteArray withPayload(const char* form) { return QByteArray(form).replace("P", kPayload); }

}  // namespace

TEST(StoreText, EverySpellingOfAValueQtRebuildsIsTakenOutAndTheRestKept) {
    // Each form puts the payload where Qt's reader starts a value's text
    // ("P" stands for it), between two entries that must survive.
    const char* const rebuiltForms[] = {
        "k=P",
        "k = P",
        "k=\"P\"",
        "k=\"\"P",                  // an empty quoted part before it
        "k=\"\" \tP",               // blanks after a closing quote are skipped
        "k=a, P",                   // the second text of a list
        "k=@@a,P",                  // a list with one text of each kind
        "k=\"a,b\",P",
        "k=\\zP",                   // a backslash drops the character after it
        "k=\\x40Rect(1 2 3 4)",     // '@' by its code
        "k=\\x10040Rect(1 2 3 4)",  // a code past 16 bits wraps to '@'
        "k=\\100Rect(1 2 3 4)",     // octal
        "k=\\x\\x40Rect(1 2 3 4)",  // "\x" without digits is nothing
        "k=\\\nP",                  // a backslash joins the next line
        "k=\\\r\nP",
        "k=\\\n\rP",
        "k=x\\\n,P",
        "k=\"\n\",P",               // a quote spans the line end
        "k=\"a\nb=c\n\",P",
        ";note\nk=P",
        "k=a\r;note\rk2=P",
        "[Other]\nk=P",
        "[Other]\nk=1\n[General]\nk2=P",
        "k=\xEF\xBB\xBFP",             // a byte-order mark at a value's start is dropped
        "k=\"\xEF\xBB\xBF\"P",
    };
    for (const char* form : rebuiltForms) {
        const QByteArray file = "[General]\nA=1\n" + withPayload(form) + "\nZ=2\n";
        SCOPED_TRACE(file.toStdString());
        // The form is one Qt rebuilds.
        const QtReading before(file);
        const QStringList rebuilt = before.rebuilt();
        ASSERT_EQ(rebuilt.size(), 1);
        const QByteArray kept = storetext::withoutRebuiltValues(file);
        QtReading after(kept);
        EXPECT_TRUE(after.rebuilt().isEmpty()) << kept.toStdString();
        // Every other entry is still there as it was.
        QStringList others = before.keys();
        others.removeOne(rebuilt[0]);
        EXPECT_EQ(after.keys(), others);
        EXPECT_EQ((*after).value("A").toString(), "1");
    }
    // A file that starts with a byte-order mark.
    const QByteArray marked = "\xEF\xBB\xBFk=" + QByteArray(kPayload) + "\nZ=2\n";
    ASSERT_EQ(QtReading(marked).rebuilt().size(), 1);
    EXPECT_TRUE(QtReading(storetext::withoutRebuiltValues(marked)).rebuilt().isEmpty());

    // Texts Qt leaves as texts are the program's own (a path may hold '@'):
    // the file stays as it is.
    const char* const textForms[] = {
        "k=@@Rect(1 2 3 4)", "k=a@Rect(1 2 3 4)", "k=\" P\"", "k=\\tP", "k=/home/me@corp/images",
        "k=\"x,P\"",         ";k=P",               "[k=P]",    "k=a;P",  "k=\"a\"b,@@c",
        "k=a,\xEF\xBB\xBFP",  // only there
    };
    for (const char* form : textForms) {
        const QByteArray file = "[General]\nA=1\n" + withPayload(form) + "\nZ=2\n";
        SCOPED_TRACE(file.toStdString());
        ASSERT_TRUE(QtReading(file).rebuilt().isEmpty());
        EXPECT_EQ(storetext::withoutRebuiltValues(file), file);
    }
}

TEST(StoreText, TheTextsReadAgreeWithQtsReaderOverRandomFiles) {
    // The parts of the format that change where a line or a text ends, or
    // what a text holds.
    static const char* const parts[] = {
        "a", "b", "7", "x", "4", "0", "@", "@@", "\"", "\\", ",", " ", "\t", "\n", "\r", "\r\n", ";", "=",
        "\\x", "\\x40", "\\1", "\\100", "\\n", "\\t", "\\\"", "\\\\", "\\\n", "Rect(1 2 3 4)", "ByteArray(z)",
        "@Rect(1 2 3 4)", "\xC3\xA9", "\\xe9", " , ", "\"\"",
        // UTF-8 cut by an escape, a quote or a ',', a byte-order mark, bytes that are no UTF-8.
        "\xE0", "\xF0\x9F", "\x98\x80", "\xEF\xBB\xBF", "\xFF",
    };
    test::Rng r(20261207);
    int compared = 0;
    for (int file = 0; file < 1500; ++file) {
        QByteArray bytes;
        const int n = 1 + int(r.below(4));
        for (int k = 0; k < n; ++k) {
            bytes += "k" + QByteArray::number(k) + "=";
            const int len = int(r.below(7));
            for (int p = 0; p < len; ++p) bytes += r.pick(parts);
            bytes += r.chance(1, 4) ? "\r\n" : "\n";
        }
        SCOPED_TRACE(bytes.toStdString());
        const QByteArray kept = storetext::withoutRebuiltValues(bytes);
        QtReading qt(kept);
        // Nothing Qt rebuilds is left.
        ASSERT_TRUE(qt.rebuilt().isEmpty()) << kept.toStdString();
        // Each entry with a key of its own reads as Qt reads it.
        const auto entries = storetext::entries(kept);
        for (const storetext::Entry& e : entries) {
            const QByteArray key = kept.mid(e.start, e.value - 1 - e.start).trimmed();
            const auto same = std::count_if(entries.begin(), entries.end(), [&](const storetext::Entry& o) {
                return kept.mid(o.start, o.value - 1 - o.start).trimmed() == key;
            });
            if (same != 1 || key.size() != 2 || key[0] != 'k') continue;
            bool isList = false;
            const QStringList texts = storetext::plainTexts(storetext::valueTexts(kept, e, &isList));
            const QVariant v = (*qt).value(QString::fromLatin1(key));
            if (isList) {
                EXPECT_EQ(v.toStringList(), texts) << key.data();
            } else {
                EXPECT_EQ(v.typeId(), QMetaType::QString) << key.data();
                EXPECT_EQ(v.toString(), texts.value(0)) << key.data();
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 1500);
}
