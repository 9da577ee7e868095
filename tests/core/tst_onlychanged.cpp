#include "core/image/bitmap.h"
#include "core/run/destinationlock.h"
#include "core/run/rowfingerprints.h"
#include "core/run/rundriver.h"
#include "core/run/webcompanions.h"
#include "core/settings/jobsettings.h"
#include "core/summary/summarytexts.h"
#include "core/summary/summarytree.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace fotolista;

namespace {

/// Moves a file's modification time, as a later copy over it would.
void touch(const QString& path, int seconds = 60)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QFileInfo(path).lastModified().addSecs(seconds), QFileDevice::FileModificationTime));
}

}  // namespace

class TestOnlyChanged : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void theStoreKeepsItsRowsPerDestinationFolder()
    {
        QTemporaryDir dir;
        RowFingerprints first(dir.filePath("cache"), dir.filePath("uno"));
        first.record("ABC", RowFingerprint{1, 2});
        first.record("DEF", RowFingerprint{3, 4});
        first.forget("DEF");
        QVERIFY(first.save());

        RowFingerprints again(dir.filePath("cache"), dir.filePath("uno"));
        QVERIFY(again.load());
        QCOMPARE(again.find("ABC"), std::optional<RowFingerprint>(RowFingerprint{1, 2}));
        QVERIFY(!again.find("DEF"));
        // Another destination folder has a file of its own.
        RowFingerprints other(dir.filePath("cache"), dir.filePath("dos"));
        QVERIFY(!other.load());
        QVERIFY(other.filePath() != again.filePath());
        QVERIFY(again.filePath().startsWith(dir.filePath("cache")));
    }

    void aDamagedStoreKnowsNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("another kind of file") << QByteArray("GIF89a and more bytes of it........");
        QTest::newRow("cut short") << QByteArray::fromHex("464c463100000002") + QByteArray(30, 'x');
        QTest::newRow("a count beyond the file") << QByteArray::fromHex("464c4631ffffffff") + QByteArray(24, 'x');
    }

    void aDamagedStoreKnowsNothing()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        RowFingerprints store(dir.filePath("cache"), dir.filePath("destino"));
        QDir().mkpath(QFileInfo(store.filePath()).absolutePath());
        QVERIFY(fixtures::writeBytes(store.filePath(), bytes));
        QVERIFY(!store.load());
        QVERIFY(!store.find("ABC"));
    }

    void aRerunSkipsOnlyWhatDidNotChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("skipped");
        for (const char* unchanged : {"nothing", "the other row's source"})
            QTest::newRow(unchanged) << unchanged << true;
        QTest::newRow("with companions: nothing") << "with companions: nothing" << true;
        for (const char* changed :
             {"source touched", "quality", "large width", "fast read", "turning off", "transparency",
              "band picture touched", "large copy deleted", "small copy replaced", "option off", "fingerprints damaged",
              "WebP on", "with companions: WebP deleted", "with companions: small AVIF replaced"})
            QTest::newRow(changed) << changed << false;
    }

    void aRerunSkipsOnlyWhatDidNotChange()
    {
        QFETCH(QString, change);
        QFETCH(bool, skipped);
        RunRig rig;
        rig.addPhoto("12345.jpg", 800, 600, 0x336699);
        rig.addPhoto("12346.jpg", 600, 800, 0x996633);
        rig.setRows({{"12345", "ABC"}, {"12346", "DEF"}});
        rig.settings.setOnlyChanged(true);
        const bool companions = change.startsWith("with companions");
        rig.settings.setWriteWebp(companions);
        rig.settings.setWriteAvif(companions);
        QCOMPARE(rig.run().written, 2);
        const QDateTime written = QFileInfo(rig.large("ABC")).lastModified();

        if (change == "the other row's source" || change == "source touched")
            touch(rig.source + (change == "source touched" ? "/12345.jpg" : "/12346.jpg"));
        else if (change == "quality")
            rig.settings.chooseQuality(JpegQuality::High);
        else if (change == "large width")
            rig.settings.setLargeWidth(300);
        else if (change == "fast read")
            rig.settings.setFastRead(true);
        else if (change == "turning off")
            rig.settings.setAutorotate(false);
        else if (change == "transparency")
            rig.settings.setWatermarkTransparency(99);
        else if (change == "band picture touched")
            touch(rig.marks + "/agua.jpg");
        else if (change == "large copy deleted")
            QVERIFY(QFile::remove(rig.large("ABC")));
        else if (change == "small copy replaced")
            touch(rig.small("ABC"));
        else if (change == "option off")
            rig.settings.setOnlyChanged(false);
        else if (change == "WebP on")
            rig.settings.setWriteWebp(true);
        else if (change == "with companions: WebP deleted")
            QVERIFY(QFile::remove(companionPath(rig.large("ABC"), WebFormat::Webp)));
        else if (change == "with companions: small AVIF replaced")
            touch(companionPath(rig.small("ABC"), WebFormat::Avif));
        else if (change == "fingerprints damaged")
            for (const QString& f : QDir(rig.cache + "/huellas").entryList(QDir::Files))
                QVERIFY(fixtures::writeBytes(rig.cache + "/huellas/" + f, "damaged"));

        rig.view.rows.clear();
        const RunResult again = rig.run();
        QCOMPARE(again.end, RunEnd::Completed);
        QCOMPARE(rig.outcome(0), skipped ? RowOutcome::Unchanged : RowOutcome::Written);
        QCOMPARE(again.unchanged + again.written, 2);
        // Skipped is no failure: no log line, and the copies are left alone.
        QCOMPARE(again.notProcessed + again.withoutOutput + again.writeFailures, 0);
        QCOMPARE(rig.logBytes(), QByteArray());
        if (skipped) {
            QCOMPARE(QFileInfo(rig.large("ABC")).lastModified(), written);
            const QList<SummaryEntry> roots = rig.view.tree.roots();
            const SummaryEntry& row = roots[0].children[0];
            QCOMPARE(row.tag, unchangedTag());
            QCOMPARE(row.children.size(), 1);
            QCOMPARE(row.children[0].text, unchangedDetailText());
        }
        QVERIFY(QFileInfo::exists(rig.large("ABC")) && QFileInfo::exists(rig.small("ABC")));
    }

    void nothingLandsInTheDestinationFolder()
    {
        RunRig rig;
        rig.addPhoto("12345.jpg");
        rig.setRows({{"12345", "ABC"}});
        rig.settings.setOnlyChanged(true);
        rig.run();
        rig.run();
        QCOMPARE(QDir(rig.destination).entryList(QDir::Files | QDir::Hidden), QStringList{"ABC.jpg"});
        // The fingerprints and their lock, which the run let go at its end.
        const QString fingerprints = RowFingerprints(rig.cache, rig.destination).filePath();
        QCOMPARE(QDir(rig.cache + "/huellas").entryList(QDir::Files),
                 (QStringList{QFileInfo(fingerprints).fileName(), QFileInfo(fingerprints).fileName() + ".lock"}));
        DestinationLock next(fingerprints);
        QCOMPARE(next.tryTake(), LockAttempt::Taken);
    }
};

QTEST_GUILESS_MAIN(TestOnlyChanged)
#include "tst_onlychanged.moc"
