#include "core/image/bitmap.h"
#include "core/run/rundriver.h"
#include "core/settings/jobsettings.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"
#include "support/imagefixtures.h"
#include "support/runrig.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

Q_DECLARE_METATYPE(RunEnd)

class TestRunDriver : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }

    void aWholeRun()
    {
        RunRig rig;
        rig.addPhoto("12345.jpg");
        rig.addPhoto("12346.JPG", 300, 400);
        rig.setRows({{"12345", "ABC"}, {"99999", "NOPE"}, {"12346", "DEF"}});

        const RunResult result = rig.run();

        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.completeRowCount, 4);
        QCOMPARE(result.rowsHandled, 3);
        QCOMPARE(result.written, 2);
        QCOMPARE(result.notProcessed, 1);

        // What the window shows at the end.
        QCOMPARE(rig.view.statusText, QStringLiteral("Proceso realizado correctamente en lote "));
        QVERIFY(rig.view.statusVisible);
        QVERIFY(rig.view.processVisible);
        QVERIFY(!rig.view.cancelVisible);
        QVERIFY(rig.view.summaryButtonVisible);
        QVERIFY(!rig.view.clockRunning);
        QCOMPARE(rig.view.clockRestarts, 1);
        QCOMPARE(rig.view.toneCount, 1);
        QVERIFY(!rig.view.placementButtonVisible);
        QVERIFY(rig.view.watermarkMarkWithdrawn);
        QVERIFY(rig.settings.watermarkEnabled());
        QVERIFY(rig.control.stopRequested);

        // Four passes; the bar moves a step each.
        QCOMPARE(rig.view.logOf("progress: "),
                 (QStringList{"progress: 1/4", "progress: 2/4", "progress: 3/4", "progress: 4/4"}));

        // What the user sees happen in order: the run starts, rows go by,
        // it ends; how each step is carried out is the driver's own.
        const QStringList& log = rig.view.log;
        const auto at = [&](const QString& entry) { return log.indexOf(entry); };
        const auto lastAt = [&](const QString& entry) { return log.lastIndexOf(entry); };
        const QString done = QStringLiteral("status: Proceso realizado correctamente en lote ");
        QVERIFY(at("placement: hidden") >= 0 && at("placement: hidden") < at("status: Procesando ..."));
        QVERIFY(at("status: Procesando ...") < at("pre-count: 4"));
        QVERIFY(at("pre-count: 4") < at("cancel: shown") && at("process: hidden") < at("progress: 1/4"));
        QVERIFY(at("cancel: shown") < at("status: Procesando la imagen del lote: NOPE"));
        QVERIFY(at("progress: 4/4") < at(done));
        QVERIFY(at(done) < lastAt("cancel: hidden") && at(done) < at("process: shown"));
        QVERIFY(at(done) < at("clock: stopped") && at(done) < at("tones"));
        QCOMPARE(log.last(), QStringLiteral("counters: 3 1 2"));

        // Records.
        const SummaryTree& tree = rig.view.tree;
        const QList<SummaryEntry> roots = tree.roots();
        QCOMPARE(roots.size(), 2);
        QCOMPARE(roots[0].children.size(), 2);
        QCOMPARE(roots[1].children.size(), 1);
        const SummaryEntry& first = roots[0].children[0];
        QCOMPARE(first.key, QStringLiteral("1 ID"));
        QCOMPARE(first.text, QStringLiteral("1 - C.O: F6 valor: 12345.JPG || C.D.: A6 :  valor: ABC.jpg"));
        QCOMPARE(first.colour, quint32(0));
        QCOMPARE(first.tag, QStringLiteral("procesado"));
        QCOMPARE(first.children.size(), 2);
        QVERIFY(first.children[0].text.startsWith("Tam I Grande: "));
        const SummaryEntry& missing = roots[1].children[0];
        QCOMPARE(missing.key, QStringLiteral("2 ID"));
        QCOMPARE(missing.colour, quint32(255));
        QCOMPARE(missing.tag, QStringLiteral("No procesado"));
        QCOMPARE(roots[0].children[1].key, QStringLiteral("3 ID"));
        QCOMPARE(tree.counters().totales, 3);
        QCOMPARE(tree.counters().noProcesadas, 1);
        QCOMPARE(tree.counters().procesadas.value(), 2);
        QCOMPARE(rig.logBytes(), QByteArray("2 - C.O: F10 valor: 99999.JPG || C.D.: A10 :  valor: NOPE.jpg\r\n"));

        // Files.
        QCOMPARE(fixtures::decode(rig.destination + "/ABC.jpg").width, 409);
        QCOMPARE(fixtures::decode(rig.destination + "/pequeñas/ABC_p.jpg").width, 145);
        QCOMPARE(fixtures::decode(rig.destination + "/DEF.jpg").height, 545);
        QVERIFY(!QFile::exists(rig.destination + "/NOPE.jpg"));
        QVERIFY(rig.totals.kbReadTotal > 0);
        QCOMPARE(rig.totals.passCount, 4);
        QVERIFY(rig.ui.messageTexts().isEmpty());
    }

    void aRunWithTheDefaultWatermark()
    {
        RunRig rig(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros"));
        fixtures::writeJpeg(rig.source + "/12345.jpg", 1000, 750, 0x808080);
        rig.setRows({{"12345", "AB-1"}, {"404", "NADA"}});

        QCOMPARE(rig.run().end, RunEnd::Completed);

        const QString out = rig.destination + "/AB-1.jpg";
        QCOMPARE(fixtures::decode(out).width, 409);
        QCOMPARE(fixtures::decode(out).height, 307);
        QCOMPARE(fixtures::decode(rig.destination + "/pequeñas/AB-1_p.jpg").height, 109);
        // The band: rows 282..305, from x = 1; its right part is one dark colour.
        const quint32 band = fixtures::pixelAt(QStringLiteral(FOTOLISTA_SOURCE_DIR "/numeros/agua.jpg"), 380, 12);
        QVERIFY(fixtures::near(fixtures::pixelAt(out, 390, 284), band, 16));
        QVERIFY(fixtures::near(fixtures::pixelAt(out, 390, 280), 0x808080, 10));
        QVERIFY(fixtures::near(fixtures::pixelAt(out, 0, 290), 0x808080, 40));
        // Each of the four glyph columns holds light strokes; the fifth is bare band.
        for (int k = 0; k < 5; ++k) {
            int brightest = 0;
            for (int y = 288; y < 304; ++y)
                for (int x = 319 + 10 * k; x < 319 + 10 * k + 9; ++x)
                    brightest = std::max(brightest, int(fixtures::pixelAt(out, x, y) & 0xFF));
            QVERIFY2((brightest > 180) == (k < 4), qPrintable(QString("column %1: %2").arg(k).arg(brightest)));
        }
        // The mark (120 x 60), centred at (144, 124) and blended by 50, shows
        // its light strokes inside its rectangle and nothing outside.
        const auto strongestChange = [&](int x0, int y0, int w, int h) {
            int most = 0;
            for (int y = y0; y < y0 + h; y += 2)
                for (int x = x0; x < x0 + w; x += 2)
                    most = std::max(most, std::abs(int(fixtures::pixelAt(out, x, y) & 0xFF) - 0x80));
            return most;
        };
        QVERIFY(strongestChange(146, 126, 116, 56) > 15);
        QVERIFY(strongestChange(20, 126, 116, 56) < 6);
        QCOMPARE(rig.view.tree.counters().totales, 2);
        QCOMPARE(rig.logBytes(), QByteArray("2 - C.O: F10 valor: 404.JPG || C.D.: A10 :  valor: NADA.jpg\r\n"));
    }

    void severalWorkersWriteTheSameBytes()
    {
        RunRig rig;
        QList<QPair<QString, QString>> rows;
        for (int i = 1; i <= 6; ++i) {
            fixtures::writeTwoToneJpeg(rig.source + "/" + QString::number(i) + ".jpg", 600 + 100 * i, 500, 0x204060,
                                       0xE0C080);
            rows << qMakePair(QString::number(i), "R" + QString::number(i));
        }
        rows.insert(2, qMakePair(QString("404"), QString("NADA")));
        rig.setRows(rows);
        QCOMPARE(rig.run().written, 6);
        const auto contents = [&] {
            QHash<QString, QByteArray> all;
            for (const QString& f : fixtures::filesUnder(rig.destination))
                all.insert(f, fixtures::readBytes(rig.destination + "/" + f));
            return all;
        };
        const auto oneWorker = contents();

        QDir(rig.destination).removeRecursively();
        QDir().mkpath(rig.destination);
        QCOMPARE(rig.run(3).written, 6);
        QCOMPARE(contents(), oneWorker);
        QCOMPARE(oneWorker.size(), 12);  // both copies of each row
    }

    void rowsPreparedAheadFollowALaterChange()
    {
        RunRig rig;
        QList<QPair<QString, QString>> rows;
        for (int i = 1; i <= 5; ++i) {
            rig.addPhoto(QString::number(i) + ".jpg", 800, 600);
            rows << qMakePair(QString::number(i), "W" + QString::number(i));
        }
        rig.setRows(rows);
        rig.ui.onYield = [&](int) {
            // Rows 3 to 5 are already being prepared at 409 when row 2 starts.
            if (rig.view.batchText == rig.reading("2.JPG")) {
                rig.settings.setLargeWidth(300);
                rig.settings.setSmallWidth(100);
            }
            if (rig.view.batchText == rig.reading("4.JPG"))
                rig.settings.chooseTiffSource();  // row 5 is looked up and decoded as TIFF
        };
        const RunResult result = rig.run(3);
        QCOMPARE(fixtures::decode(rig.destination + "/W1.jpg").width, 409);
        QCOMPARE(fixtures::decode(rig.destination + "/W2.jpg").width, 300);
        QCOMPARE(fixtures::decode(rig.destination + "/pequeñas/W2_p.jpg").width, 100);
        QCOMPARE(fixtures::decode(rig.destination + "/W3.jpg").width, 300);
        QCOMPARE(fixtures::decode(rig.destination + "/W4.jpg").width, 300);
        QVERIFY(!QFile::exists(rig.destination + "/W5.jpg"));
        QCOMPARE(result.notProcessed, 1);
    }

    void twoRunsAddUpTheKilobytes()
    {
        RunRig rig;
        rig.addPhoto("1.jpg", 1200, 900);
        rig.setRows({{"1", "A"}});
        rig.run();
        const qint64 read = rig.totals.kbReadTotal;
        const qint64 written = rig.totals.kbWrittenTotal;
        QVERIFY(read > 0);
        rig.run();
        QCOMPARE(rig.totals.kbReadTotal, 2 * read);
        QCOMPARE(rig.totals.kbWrittenTotal, 2 * written);
        QCOMPARE(rig.view.clockRestarts, 2);
        // Each run starts its own summary.
        QCOMPARE(rig.view.tree.roots()[0].children.size(), 1);
    }

    void anEmptyFirstRowCompletesAtOnce()
    {
        RunRig rig;
        rig.addPhoto("1.jpg");
        rig.setRows({{"", ""}, {"1", "A"}});
        const RunResult result = rig.run();
        QCOMPARE(result.end, RunEnd::Completed);
        QCOMPARE(result.rowsHandled, 0);
        QCOMPARE(rig.view.statusText, QStringLiteral("Proceso realizado correctamente en lote "));
        QCOMPARE(rig.view.toneCount, 1);
        QCOMPARE(rig.view.logOf("counters"), QStringList{"counters: 0 0 0"});
        QCOMPARE(rig.logBytes(), QByteArray());
    }

    void cancelDuringTheSecondOfFiveRows_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one thread") << 1;
        QTest::newRow("rows prepared ahead on three") << 3;
    }

    void cancelDuringTheSecondOfFiveRows()
    {
        QFETCH(int, jobs);
        RunRig rig;
        QList<QPair<QString, QString>> rows;
        for (int i = 1; i <= 5; ++i) {
            rig.addPhoto(QString::number(i) + ".jpg", 1600, 1200);
            rows << qMakePair(QString::number(i), "P" + QString::number(i));
        }
        rig.setRows(rows);
        bool pressed = false;
        rig.ui.onYield = [&](int) {
            if (!pressed && rig.view.batchText == rig.reading("2.JPG")) {
                pressed = true;
                requestCancel(rig.control, rig.view);
            }
        };
        const RunResult result = rig.run(jobs);
        QVERIFY(pressed);
        QCOMPARE(result.end, RunEnd::Stopped);
        // The row in progress is finished; nothing is written after it.
        QCOMPARE(fixtures::filesUnder(rig.destination),
                 (QStringList{"P1.jpg", "P2.jpg", "pequeñas/P1_p.jpg", "pequeñas/P2_p.jpg"}));
        QCOMPARE(rig.view.tree.counters().totales, 1);
        QCOMPARE(rig.view.toneCount, 0);
        QVERIFY(rig.view.clockRunning);
        QCOMPARE(rig.view.statusText, QStringLiteral("Procesando la imagen del lote: P2"));
        QVERIFY(rig.view.processVisible);
        QVERIFY(!rig.view.cancelVisible);
        QVERIFY(rig.control.stopRequested);
    }

    void aSettingChangedDuringAYieldAppliesFromTheNextRead()
    {
        RunRig rig;
        rig.addPhoto("1.jpg", 800, 600);
        rig.addPhoto("2.jpg", 800, 600);
        rig.setRows({{"1", "A"}, {"2", "B"}});
        rig.ui.onYield = [&](int) {
            // While row 1 shows its status, before its sizes are read.
            if (rig.view.batchText == rig.reading("1.JPG"))
                rig.settings.setLargeWidth(200);
            // During row 2's rescale: the small width is read after it.
            if (rig.view.batchText == rig.reading("2.JPG"))
                rig.settings.setSmallWidth(100);
        };
        rig.run();
        QCOMPARE(fixtures::decode(rig.destination + "/A.jpg").width, 200);
        QCOMPARE(fixtures::decode(rig.destination + "/pequeñas/A_p.jpg").width, 145);
        QCOMPARE(fixtures::decode(rig.destination + "/pequeñas/B_p.jpg").width, 100);
    }

    void refusalsLeaveTheLogAndTheWindowReady_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::addColumn<RunEnd>("end");
        QTest::addColumn<QStringList>("messages");
        const QString incomplete = QStringLiteral("Es necesario especificar la fuente, el destino y el archivo XLS");
        QTest::newRow("nothing chosen")
            << "nothing" << RunEnd::Refused
            << QStringList{"No existen archivos en la carpeta fuente especificada, incluya los JPGs", incomplete};
        QTest::newRow("an empty column") << "column" << RunEnd::Refused << QStringList{incomplete};
        QTest::newRow("a step of zero")
            << "step" << RunEnd::Refused
            << QStringList{"Las filas de inicio y el salto de líneas deben ser números enteros mayores que 0"};
        QTest::newRow("an unreadable workbook")
            << "workbook" << RunEnd::WorkbookUnreadable
            << QStringList{"No se puede leer el libro de Excel «libro.xls»: el archivo está vacío."};
    }

    void refusalsLeaveTheLogAndTheWindowReady()
    {
        QFETCH(QString, refused);
        QFETCH(RunEnd, end);
        QFETCH(QStringList, messages);
        RunRig rig;
        rig.addPhoto("1.jpg");
        if (refused == "nothing") {
            rig.settings.setSourceFolder(QStringLiteral("ruta de imágenes fuente"));
            rig.settings.setDestinationFolder(QStringLiteral("ruta de imágenes fuente destino"));
            rig.settings.setWorkbookPath(QStringLiteral("Archivo de excel no seleccionado"));
        } else if (refused == "column") {
            rig.settings.setDestinationColumn(QString());
        } else if (refused == "step") {
            rig.settings.setRowStep("0");
        } else {
            rig.reader.openFailure = messages.first();
        }
        fixtures::writeBytes(rig.logPath, "earlier log");

        QCOMPARE(rig.run().end, end);
        QCOMPARE(rig.ui.messageTexts(), messages);
        QCOMPARE(rig.ui.calls.last().title, QStringLiteral("Error de archivos"));
        QCOMPARE(rig.ui.calls.last().icon, MessageIcon::Critical);
        // Only a readable setting lets the workbook be opened.
        QCOMPARE(rig.reader.openedPaths.size(), refused == "workbook" ? 1 : 0);
        QCOMPARE(rig.logBytes(), QByteArray("earlier log"));
        // The summary starts empty; the window is ready for another try.
        QCOMPARE(rig.view.tree.roots().size(), 2);
        QVERIFY(rig.view.tree.roots()[0].children.isEmpty());
        QVERIFY(!rig.view.countersSet);
        QVERIFY(!rig.view.statusVisible);
        QVERIFY(rig.view.batchVisible);
        QVERIFY(rig.view.processVisible);
        QVERIFY(!rig.view.placementButtonVisible);
        QCOMPARE(rig.view.toneCount, 0);
    }

    void rowsOutsideTheFoldersAreNotProcessed()
    {
        RunRig rig;
        rig.addPhoto("1.jpg");
        QDir().mkpath(rig.dir.filePath("fuera"));
        fixtures::writeJpeg(rig.dir.filePath("fuera/2.jpg"), 100, 100);
        rig.setRows({{"..\\fuera\\2", "A"}, {"1", "..\\B"}, {"1", "C"}, {"", "D"}});
        const RunResult result = rig.run();
        QCOMPARE(result.notProcessed, 3);
        QCOMPARE(result.written, 1);
        QCOMPARE(rig.view.tree.roots()[1].children.size(), 3);
        QVERIFY(!QFile::exists(rig.dir.filePath("B.jpg")));
        QVERIFY(!QFile::exists(rig.destination + "/A.jpg"));
        QCOMPARE(rig.logBytes(), QByteArray("1 - C.O: F6 valor: ..\\fuera\\2.JPG || C.D.: A6 :  valor: A.jpg\r\n"
                                            "2 - C.O: F10 valor: 1.JPG || C.D.: A10 :  valor: ..\\B.jpg\r\n"
                                            "4 - C.O: F18 valor: .JPG || C.D.: A18 :  valor: D.jpg\r\n"));
        QCOMPARE(rig.view.tree.counters().procesadas.value(), 1);
    }

    void foundRowsWithoutOutputStayBlack()
    {
        RunRig rig;
        rig.addPhoto("1.jpg");
        fixtures::writeBytes(rig.source + "/2.jpg", "broken");
        rig.setRows({{"1", ""}, {"2", "B"}});
        const RunResult result = rig.run();
        QCOMPARE(result.withoutOutput, 2);
        QCOMPARE(rig.view.tree.roots()[0].children.size(), 2);
        QCOMPARE(rig.view.tree.roots()[0].children[0].text,
                 QStringLiteral("1 - C.O: F6 valor: 1.JPG || C.D.: A6 :  valor: .jpg"));
        QVERIFY(rig.view.tree.roots()[0].children[0].children.isEmpty());
        // Both stay black and counted as processed; only the damaged photo says why.
        QCOMPARE(rig.view.tree.roots()[0].children[1].children.size(), 1);
        QCOMPARE(rig.view.tree.roots()[0].children[1].children[0].colour, kEntryRed);
        QCOMPARE(rig.logBytes(),
                 QByteArray("2 - C.O: F10 valor: 2.JPG || C.D.: A10 :  valor: B.jpg || No se ha podido leer la "
                            "imagen (no es una imagen JPEG, TIFF, PNG, WebP, HEIC ni AVIF); no se ha escrito\r\n"));
        QCOMPARE(rig.view.logOf("counters"), QStringList{"counters: 2 0 2"});
        QCOMPARE(rig.view.rows[0].outcome.value(), RowOutcome::CellsNoLongerMatching);
        QCOMPARE(rig.view.rows[1].outcome.value(), RowOutcome::NotDecoded);
    }

    void aSourceRemovedDuringTheRunIsMissing_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one thread") << 1;
        QTest::newRow("rows prepared ahead") << 3;
    }

    void aSourceRemovedDuringTheRunIsMissing()
    {
        QFETCH(int, jobs);
        RunRig rig;
        for (const char* name : {"1.jpg", "2.jpg", "3.jpg"})
            rig.addPhoto(name);
        rig.setRows({{"1", "A"}, {"2", "B"}, {"3", "C"}});
        // The folder has been listed by now, and row 2 perhaps decoded ahead.
        rig.view.onRow = [&](const RowReport& report) {
            if (report.passNumber == 1)
                QFile::remove(rig.source + "/2.jpg");
        };
        const RunResult result = rig.run(jobs);
        QCOMPARE(result.written, 2);
        QCOMPARE(result.notProcessed, 1);
        QCOMPARE(rig.view.rows[1].fate, RowFate::Missing);
        QVERIFY(!QFile::exists(rig.large("B")));
        const SummaryEntry& missing = rig.view.tree.roots()[1].children.value(0);
        QCOMPARE(missing.key, QStringLiteral("2 ID"));
        QCOMPARE(missing.colour, kEntryRed);
        QCOMPARE(rig.logBytes(), QByteArray("2 - C.O: F10 valor: 2.JPG || C.D.: A10 :  valor: B.jpg\r\n"));
        QCOMPARE(rig.view.logOf("counters"), QStringList{"counters: 3 1 2"});
    }

    void aSecondStartDuringARunDoesNothing()
    {
        RunRig rig;
        rig.addPhoto("1.jpg");
        rig.setRows({{"1", "A"}});
        RunDriver driver(RunEnvironment{rig.settings, rig.ui, rig.view, rig.reader, rig.placement, rig.totals,
                                        rig.control, rig.logPath});
        RunResult inner;
        bool tried = false;
        rig.ui.onYield = [&](int) {
            if (!tried) {
                tried = true;
                inner = driver.run();
                QVERIFY(driver.isRunning());
            }
        };
        QCOMPARE(driver.run().end, RunEnd::Completed);
        QVERIFY(!driver.isRunning());
        QVERIFY(tried);
        QCOMPARE(inner.rowsHandled, 0);
        QCOMPARE(rig.view.summaryResets, 1);
    }
};

QTEST_GUILESS_MAIN(TestRunDriver)
#include "tst_rundriver.moc"
