#include "core/base/safewrite.h"
#include "support/imagefixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace fotolista;

namespace {

/// What stands at the target, or in the way of the write, before it.
enum Setup {
    Nothing,
    EarlierFile,
    LinkToAFileOutside,
    DanglingLink,
    LinkAtTheTemporaryName,
    EveryTemporaryNameTaken,
    ReadOnlyFile,
    FolderAtTheTarget,
    FileSizeLimit,
};

}  // namespace

class TestSafeWrite : public QObject {
    Q_OBJECT

private slots:
    void writesWholeOrNotAtAll_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<bool>("written");
        QTest::newRow("a new file") << int(Nothing) << true;
        QTest::newRow("an earlier file is replaced") << int(EarlierFile) << true;
        QTest::newRow("a link at the target is replaced, not written through") << int(LinkToAFileOutside) << true;
        QTest::newRow("a dangling link makes nothing where it points") << int(DanglingLink) << true;
        QTest::newRow("a link at the temporary name is passed by") << int(LinkAtTheTemporaryName) << true;
        QTest::newRow("no temporary name free: nothing written") << int(EveryTemporaryNameTaken) << false;
        QTest::newRow("a read-only file stays, even for root") << int(ReadOnlyFile) << false;
        QTest::newRow("a folder where the file goes") << int(FolderAtTheTarget) << false;
        QTest::newRow("a write that fails midway leaves the old file") << int(FileSizeLimit) << false;
    }

    void writesWholeOrNotAtAll()
    {
        QFETCH(int, setup);
        QFETCH(bool, written);
        QTemporaryDir outside;
        QTemporaryDir dir;
        const QString victim = outside.filePath("victim");
        const QString target = dir.filePath("resumen.txt");
        const QByteArray earlier = "yesterday's summary";
        QVERIFY(fixtures::writeBytes(victim, "not ours"));
        QStringList names{".tmp-fresh"};
        switch (Setup(setup)) {
        case Nothing: break;
        case EarlierFile:
        case FileSizeLimit: QVERIFY(fixtures::writeBytes(target, earlier)); break;
        case LinkToAFileOutside: QVERIFY(QFile::link(victim, target)); break;
        case DanglingLink: QVERIFY(QFile::link(outside.filePath("none"), target)); break;
        case LinkAtTheTemporaryName:
            QVERIFY(QFile::link(victim, dir.filePath(".tmp-planted")));
            names.prepend(".tmp-planted");
            break;
        case EveryTemporaryNameTaken:
            QVERIFY(fixtures::writeBytes(target, earlier));
            QVERIFY(QFile::link(victim, dir.filePath(".tmp-planted")));
            names = QStringList(200, ".tmp-planted");
            break;
        case ReadOnlyFile:
            QVERIFY(fixtures::writeBytes(target, earlier));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup));
            break;
        case FolderAtTheTarget: QVERIFY(QDir().mkpath(target)); break;
        }
        const QByteArray bytes(8192, 'x');
        const auto next = [&] { return names.isEmpty() ? QByteArray(".tmp-last") : names.takeFirst().toUtf8(); };

        rlimit before{};
        if (Setup(setup) == FileSizeLimit) {
            // As a full disk would: the write returns an error, the program goes on.
            std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
            rlimit small = before;
            small.rlim_cur = 4096;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        const bool ok = writeFileSafely(target, bytes, next);
        if (Setup(setup) == FileSizeLimit)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &before), 0);

        QCOMPARE(ok, written);
        QCOMPARE(fixtures::readBytes(victim), QByteArray("not ours"));
        QVERIFY(!QFile::exists(outside.filePath("none")));
        if (written) {
            QVERIFY(!QFileInfo(target).isSymLink());
            QCOMPARE(fixtures::readBytes(target), bytes);
        } else if (Setup(setup) != FolderAtTheTarget) {
            QCOMPARE(fixtures::readBytes(target), earlier);
        }
        // Nothing is left beside it but what was planted.
        QStringList left =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        left.removeAll(".tmp-planted");
        QCOMPARE(left, QStringList{"resumen.txt"});
        QCOMPARE(QString::fromLatin1(writeInProgressPath()), QString());
    }
};

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
