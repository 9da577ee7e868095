#include "core/settings/jobsettings.h"
#include "core/workbook/workbookwalk.h"
#include "support/fakeworkbookreader.h"

#include <QLocale>
#include <QTest>

using namespace fotolista;

namespace {

WalkPlan defaultPlan()
{
    JobSettings s(QStringLiteral("/numeros"));
    return planWalk(s).value();
}

/// Walks like the run does: rows until the stop row, at most `limit`.
QList<RowCells> walkAll(WorkbookWalk& walk, int limit = 100)
{
    QList<RowCells> rows;
    for (int i = 0; i < limit; ++i) {
        const RowCells row = walk.currentRow();
        if (row.isStopRow())
            break;
        rows << row;
        walk.advance();
    }
    return rows;
}

}  // namespace

class TestWorkbookWalk : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void defaultSettingsReadEveryFourthRowFromSix()
    {
        FakeWorkbookReader reader;
        reader.cells = {{"F6", "12345"}, {"A6", "ABC"}, {"F10", "222"}, {"A10", "DEF"}};
        WorkbookWalk walk(reader, defaultPlan());
        QVERIFY(walk.open(QStringLiteral("/libro.xls")).ok);
        QCOMPARE(walk.preCount(), 3);
        const QList<RowCells> rows = walkAll(walk);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].originAddress, QStringLiteral("F6"));
        QCOMPARE(rows[0].destinationAddress, QStringLiteral("A6"));
        QCOMPARE(rows[0].sourceText, QStringLiteral("12345"));
        QCOMPARE(rows[0].destinationText, QStringLiteral("ABC"));
        QCOMPARE(rows[1].originAddress, QStringLiteral("F10"));
        QCOMPARE(rows[1].destinationAddress, QStringLiteral("A10"));
        QCOMPARE(walk.rowOffset(), 8);
        QCOMPARE(walk.currentRow().originAddress, QStringLiteral("F14"));
    }

    void differentStartRowsKeepTheirDistance()
    {
        JobSettings s(QStringLiteral("/numeros"));
        s.setDestinationRow(QStringLiteral("8"));
        s.setOriginColumn(QStringLiteral("aa"));
        FakeWorkbookReader reader;
        reader.cells = {{"AA6", "1"}, {"A8", "x"}, {"AA10", "2"}, {"A12", "y"}};
        WorkbookWalk walk(reader, planWalk(s).value());
        walk.open(QStringLiteral("/l.xls"));
        const QList<RowCells> rows = walkAll(walk);
        QCOMPARE(rows.size(), 2);
        // The column is used as typed.
        QCOMPARE(rows[0].originAddress, QStringLiteral("aa6"));
        QCOMPARE(rows[0].destinationAddress, QStringLiteral("A8"));
        QCOMPARE(rows[1].originAddress, QStringLiteral("aa10"));
        QCOMPARE(rows[1].destinationAddress, QStringLiteral("A12"));
        QCOMPARE(rows[1].destinationText, QStringLiteral("y"));
    }

    void aGapInOneColumnShortensTheCountButNotTheWalk()
    {
        FakeWorkbookReader reader;
        reader.cells = {{"F6", "1"},  {"A6", "a"},  {"F10", "2"}, {"A10", "b"},
                        {"F14", "3"}, {"A14", "c"}, {"F18", "4"}, {"A26", "after the stop"}};
        WorkbookWalk walk(reader, defaultPlan());
        walk.open(QStringLiteral("/l.xls"));
        QCOMPARE(walk.preCount(), 4);
        QCOMPARE(walk.rowOffset(), 0);
        const QList<RowCells> rows = walkAll(walk);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[3].originAddress, QStringLiteral("F18"));
        QVERIFY(!rows[3].isComplete());
        QCOMPARE(walk.currentRow().originAddress, QStringLiteral("F22"));
    }

    void anEmptyFirstRowCountsOne()
    {
        FakeWorkbookReader reader;
        reader.cells = {{"F10", "1"}, {"A10", "a"}};
        WorkbookWalk walk(reader, defaultPlan());
        walk.open(QStringLiteral("/l.xls"));
        QCOMPARE(walk.preCount(), 1);
        QVERIFY(walkAll(walk).isEmpty());
    }

    void onlyTheDestinationFilledIsStillARow()
    {
        FakeWorkbookReader reader;
        reader.cells = {{"A6", "solo destino"}};
        WorkbookWalk walk(reader, defaultPlan());
        walk.open(QStringLiteral("/l.xls"));
        QCOMPARE(walk.preCount(), 1);
        const QList<RowCells> rows = walkAll(walk);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].sourceText, QString());
    }

    void rowNumbersAreNotLimitedTo16Bits()
    {
        JobSettings s(QStringLiteral("/numeros"));
        s.setOriginRow(QStringLiteral("32767"));
        s.setDestinationRow(QStringLiteral("32767"));
        s.setRowStep(QStringLiteral("32767"));
        FakeWorkbookReader reader;
        reader.cells = {{"F32767", "1"}, {"A32767", "a"}, {"F65534", "2"}, {"A65534", "b"}};
        WorkbookWalk walk(reader, planWalk(s).value());
        walk.open(QStringLiteral("/l.xls"));
        QCOMPARE(walk.preCount(), 3);
        const QList<RowCells> rows = walkAll(walk);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].originAddress, QStringLiteral("F65534"));
        QCOMPARE(walk.currentRow().originAddress, QStringLiteral("F98301"));
    }

    void texts_are_not_trimmed()
    {
        FakeWorkbookReader reader;
        reader.cells = {{"F6", "12345 "}, {"A6", " ABC"}};
        WorkbookWalk walk(reader, defaultPlan());
        walk.open(QStringLiteral("/l.xls"));
        const RowCells row = walk.currentRow();
        QCOMPARE(row.sourceText, QStringLiteral("12345 "));
        QCOMPARE(row.destinationText, QStringLiteral(" ABC"));
    }

    void openFailureIsPassedOn()
    {
        FakeWorkbookReader reader;
        reader.openFailure = QStringLiteral("no se puede");
        WorkbookWalk walk(reader, defaultPlan());
        const WorkbookOpenResult r = walk.open(QStringLiteral("/l.xls"));
        QVERIFY(!r.ok);
        QCOMPARE(r.message, QStringLiteral("no se puede"));
    }

    void startRowsAndStepMustBeWholeNumbersFromOne_data()
    {
        QTest::addColumn<QString>("originRow");
        QTest::addColumn<QString>("destinationRow");
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("runs");

        QTest::newRow("defaults") << "6"
                                  << "6"
                                  << "4" << true;
        QTest::newRow("step one") << "1"
                                  << "1"
                                  << "1" << true;
        QTest::newRow("step rounds to even") << "6"
                                             << "6"
                                             << "4,5" << true;
        QTest::newRow("blanks allowed") << " 6 "
                                        << "6"
                                        << " 4" << true;
        QTest::newRow("step zero") << "6"
                                   << "6"
                                   << "0" << false;
        QTest::newRow("step rounds to zero") << "6"
                                             << "6"
                                             << "0,5" << false;
        QTest::newRow("negative step") << "6"
                                       << "6"
                                       << "-4" << false;
        QTest::newRow("step not a number") << "6"
                                           << "6"
                                           << "cuatro" << false;
        QTest::newRow("empty step") << "6"
                                    << "6"
                                    << "" << false;
        QTest::newRow("origin row zero") << "0"
                                         << "6"
                                         << "4" << false;
        QTest::newRow("destination row negative") << "6"
                                                  << "-1"
                                                  << "4" << false;
        QTest::newRow("origin row empty") << ""
                                          << "6"
                                          << "4" << false;
        QTest::newRow("row beyond 16 bits") << "40000"
                                            << "6"
                                            << "4" << false;
    }

    void startRowsAndStepMustBeWholeNumbersFromOne()
    {
        QFETCH(QString, originRow);
        QFETCH(QString, destinationRow);
        QFETCH(QString, step);
        QFETCH(bool, runs);
        JobSettings s(QStringLiteral("/numeros"));
        s.setOriginRow(originRow);
        s.setDestinationRow(destinationRow);
        s.setRowStep(step);
        QCOMPARE(planWalk(s).has_value(), runs);
    }
};

QTEST_GUILESS_MAIN(TestWorkbookWalk)
#include "tst_workbookwalk.moc"
