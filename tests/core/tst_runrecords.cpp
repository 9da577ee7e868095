#include "core/base/shownpaths.h"
#include "core/summary/errorlog.h"
#include "core/summary/summarytexts.h"
#include "core/summary/summarytree.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

class TestRunRecords : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void entryText_data()
    {
        QTest::addColumn<qint64>("pass");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destAddress");
        QTest::addColumn<QString>("dest");
        QTest::addColumn<QString>("text");
        QTest::newRow("typical") << qint64(3) << "F14"
                                 << "12345"
                                 << "A14"
                                 << "ABC"
                                 << "3 - C.O: F14 valor: 12345.JPG || C.D.: A14 :  valor: ABC.jpg";
        QTest::newRow("unnamed") << qint64(3) << "F14"
                                 << ""
                                 << "A14"
                                 << "ABC"
                                 << "3 - C.O: F14 valor: .JPG || C.D.: A14 :  valor: ABC.jpg";
        QTest::newRow("empty destination") << qint64(1) << "F6"
                                           << "12345"
                                           << "A6"
                                           << ""
                                           << "1 - C.O: F6 valor: 12345.JPG || C.D.: A6 :  valor: .jpg";
        QTest::newRow("blanks kept") << qint64(40000) << "F6"
                                     << " 1 "
                                     << "A6"
                                     << "x "
                                     << "40000 - C.O: F6 valor:  1 .JPG || C.D.: A6 :  valor: x .jpg";
        // A cell's line breaks and other controls never start a line of the
        // log; "\" is a folder step and stays.
        QTest::newRow("controls written out")
            << qint64(2) << "F10" << QString("a\r\nb\tc\x1b") << "A10" << QString("sub\\x") + QChar(0x2028) + "y"
            << "2 - C.O: F10 valor: a\\r\\nb\\tc\\x1B.JPG || C.D.: A10 :  valor: sub\\x\\u{2028}y.jpg";
    }

    void entryText()
    {
        QFETCH(qint64, pass);
        QFETCH(QString, origin);
        QFETCH(QString, source);
        QFETCH(QString, destAddress);
        QFETCH(QString, dest);
        QFETCH(QString, text);
        QCOMPARE(rowEntryText(pass, origin, source, ".JPG", destAddress, dest), text);
    }

    void kilobytesRoundHalfToEven_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("kb");
        QTest::newRow("1536") << qint64(1536) << qint64(2);
        QTest::newRow("2560") << qint64(2560) << qint64(2);
        QTest::newRow("3584") << qint64(3584) << qint64(4);
        QTest::newRow("511") << qint64(511) << qint64(0);
        QTest::newRow("512") << qint64(512) << qint64(0);
        QTest::newRow("513") << qint64(513) << qint64(1);
        QTest::newRow("40 MB is not cut to 16 bits") << qint64(40) * 1024 * 1024 << qint64(40960);
    }

    void kilobytesRoundHalfToEven()
    {
        QFETCH(qint64, bytes);
        QFETCH(qint64, kb);
        QCOMPARE(kilobytes(bytes), kb);
    }

    void statisticsTexts_data()
    {
        QTest::addColumn<qint64>("read");
        QTest::addColumn<qint64>("written");
        QTest::addColumn<QString>("sizes");
        QTest::addColumn<QString>("compression");
        QTest::newRow("812/64") << qint64(812) << qint64(64) << "Tam I Grande: 812 Kb. Tam F Grande: 64 Kb."
                                << "Porcentaje comprimido 92 % || Ratio: 1,92 sobre unidad";
        QTest::newRow("larger output") << qint64(100) << qint64(130) << "Tam I Grande: 100 Kb. Tam F Grande: 130 Kb."
                                       << "Porcentaje comprimido -30 % || Ratio: 0,7 sobre unidad";
        QTest::newRow("80 %") << qint64(100) << qint64(20) << "Tam I Grande: 100 Kb. Tam F Grande: 20 Kb."
                              << "Porcentaje comprimido 80 % || Ratio: 1,8 sobre unidad";
        QTest::newRow("all gone") << qint64(100) << qint64(0) << "Tam I Grande: 100 Kb. Tam F Grande: 0 Kb."
                                  << "Porcentaje comprimido 100 % || Ratio: 2 sobre unidad";
        QTest::newRow("minus 25") << qint64(100) << qint64(125) << "Tam I Grande: 100 Kb. Tam F Grande: 125 Kb."
                                  << "Porcentaje comprimido -25 % || Ratio: 0,75 sobre unidad";
        QTest::newRow("half percent to even")
            << qint64(200) << qint64(101) << "Tam I Grande: 200 Kb. Tam F Grande: 101 Kb."
            << "Porcentaje comprimido 50 % || Ratio: 1,5 sobre unidad";
        QTest::newRow("tiny source") << qint64(0) << qint64(3) << "Tam I Grande: 0 Kb. Tam F Grande: 3 Kb."
                                     << "Porcentaje comprimido n/d % || Ratio: n/d sobre unidad";
        QTest::newRow("large, no group separator")
            << qint64(1) << qint64(400) << "Tam I Grande: 1 Kb. Tam F Grande: 400 Kb."
            << "Porcentaje comprimido -39900 % || Ratio: -398 sobre unidad";
        QTest::newRow("over 32 MB") << qint64(40960) << qint64(100) << "Tam I Grande: 40960 Kb. Tam F Grande: 100 Kb."
                                    << "Porcentaje comprimido 100 % || Ratio: 2 sobre unidad";
    }

    void statisticsTexts()
    {
        QFETCH(qint64, read);
        QFETCH(qint64, written);
        QFETCH(QString, sizes);
        QFETCH(QString, compression);
        QCOMPARE(sizeDetailText(read, written), sizes);
        QCOMPARE(compressionDetailText(read, written), compression);
    }

    void ratioFollowsTheLocale()
    {
        QLocale::setDefault(QLocale::c());
        const QString english = compressionDetailText(812, 64);
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        QCOMPARE(english, QStringLiteral("Porcentaje comprimido 92 % || Ratio: 1.92 sobre unidad"));
    }

    void errorLogIsReplacedAndEndsLinesWithCrLf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("errores.txt");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an earlier run's line that is much longer than the new ones\r\n");
        }
        ErrorLog log;
        QVERIFY(log.open(path));
        log.writeLine(QStringLiteral("1 - C.O: F6 valor: ñ.JPG"));
        log.writeLine(QStringLiteral("2 - x"));
        log.close();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("1 - C.O: F6 valor: \xc3\xb1.JPG\r\n2 - x\r\n"));
    }

    void errorLogThatCannotBeWrittenSaysWhy()
    {
        ErrorLog log;
        QVERIFY(!log.open(QStringLiteral("/no/such/folder/errores.txt")));
        QVERIFY(!log.problem().isEmpty());
        QVERIFY(!log.writeLine(QStringLiteral("lost")));
        if (QFile::exists(QStringLiteral("/dev/full"))) {  // a full disk, where the system has one
            QVERIFY(log.open(QStringLiteral("/dev/full")));
            QVERIFY(!log.writeLine(QStringLiteral("lost")));
            QVERIFY(!log.problem().isEmpty());
        }
        // Named as the system makes it absolute and shows it: with the drive and a backslash on Windows.
        const QString missing = QStringLiteral("/no/such/folder/errores.txt");
        QCOMPARE(logCreationProblem(missing).value_or(QString()),
                 QStringLiteral("no existe la carpeta «%1»").arg(shownPath(QFileInfo(missing).absolutePath())));
    }

    void summaryTreeShape()
    {
        SummaryTree tree;
        // Before the roots exist nothing can be added.
        QVERIFY(!tree.addRowEntry(1, "1 ID", "x", kEntryBlack, "procesado"));
        tree.addRoots();
        QVERIFY(tree.addRowEntry(1, "1 ID", "row one", kEntryBlack, "procesado"));
        QVERIFY(tree.addRowEntry(2, "2 ID", "row two", kEntryRed, "No procesado"));
        QVERIFY(tree.addDetail("1 ID", "Tam"));
        QVERIFY(!tree.addDetail("9 ID", "nowhere"));
        QCOMPARE(tree.roots().size(), 2);
        QCOMPARE(tree.roots()[0].text, QStringLiteral("-> Imagenes asociadas"));
        QCOMPARE(tree.roots()[1].text, QStringLiteral("-> No asociadas"));
        QCOMPARE(tree.roots()[1].children[0].colour, quint32(255));
        QCOMPARE(tree.roots()[1].children[0].tag, QStringLiteral("No procesado"));
        QCOMPARE(tree.toLines(),
                 (QStringList{"-> Imagenes asociadas", "  row one", "    Tam", "-> No asociadas", "  row two"}));
    }

    void aListenerFollowsEveryChange()
    {
        struct Recorder : SummaryListener {
            QStringList events;
            void summaryCleared() override { events << "cleared"; }
            void rootsAdded() override { events << "roots"; }
            void rowAdded(int root, const SummaryEntry& e) override
            {
                events << QString("row %1 %2").arg(root).arg(e.key);
            }
            void detailAdded(const QString& key, const QString& text, quint32) override
            {
                events << "detail " + key + " " + text;
            }
            void countersChanged() override { events << "counters"; }
        } recorder;
        SummaryTree tree;
        tree.setListener(&recorder);
        tree.clear();
        tree.addRoots();
        tree.addRowEntry(2, "1 ID", "x", kEntryRed, "No procesado");
        tree.addDetail("1 ID", "d");
        tree.addDetail("7 ID", "lost");  // no such row: nothing to tell
        tree.setCounters(1, 1, 0);
        QCOMPARE(recorder.events, (QStringList{"cleared", "roots", "row 2 1 ID", "detail 1 ID d", "counters"}));
        QCOMPARE(tree.counters().procesadas.value(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRunRecords)
#include "tst_runrecords.moc"
