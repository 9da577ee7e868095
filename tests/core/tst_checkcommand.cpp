#include "support/imagefixtures.h"
#include "support/parsedreport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kProgram = QStringLiteral(FOTOLISTA_BIN_DIR "/fotolista-batch");
const QString kExamples = QStringLiteral(FOTOLISTA_SOURCE_DIR "/examples");
const QString kMarkup = QStringLiteral("\"><img src=x onerror=alert(1)>");

/// The example batch in a temporary folder; `hostile` swaps its workbook for
/// tests/data/batch/hostile.xls and adds the two photos only that one names.
struct Batch {
    QTemporaryDir dir;
    QString workbook = dir.filePath("catalogo.xls");
    QString source = dir.filePath("fotos");
    QString destination = dir.filePath("salida");
    int exitCode = -1;
    QStringList out;
    QString err;

    explicit Batch(bool hostile = false)
    {
        QFile::copy(hostile ? QStringLiteral(FOTOLISTA_TEST_DATA "/batch/hostile.xls") : kExamples + "/catalogo.xls",
                    workbook);
        QDir().mkpath(destination);
        QDir().mkpath(source);
        for (const QString& name : QDir(kExamples + "/fotos").entryList(QDir::Files))
            QFile::copy(kExamples + "/fotos/" + name, source + "/" + name);
        if (hostile) {
            fixtures::writeJpeg(source + "/" + kMarkup + ".jpg", 450, 600, 0x3366CC);
            fixtures::writeJpeg(source + "/foto con espacios.jpg", 600, 450, 0xCC6633);
        }
    }

    /// Runs `fotolista-batch COMMAND WORKBOOK SOURCE DESTINATION extra...` in the batch's folder.
    void run(const QString& command, const QStringList& extra = {})
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "es_ES.UTF-8");
        p.setProcessEnvironment(env);
        p.start(kProgram, QStringList{command, workbook, source, destination} + extra);
        p.waitForFinished(120000);
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        err = QString::fromUtf8(p.readAllStandardError());
    }
    /// What the batch's folders hold besides the workbook and the photos.
    QStringList written() const
    {
        QStringList files = fixtures::filesUnder(dir.path()).filter(QRegularExpression("^(?!fotos/|catalogo.xls)"));
        return files;
    }
};

}  // namespace

class TestCheckCommand : public QObject {
    Q_OBJECT

private slots:
    void theExampleBatch()
    {
        Batch b;
        b.run("check");
        QCOMPARE(b.exitCode, 1);
        QCOMPARE(b.out, (QStringList{"22\tfalta-origen\tF22 «99999»: no hay 99999.JPG en la carpeta fuente",
                                     "26\torigen-vacio\tF26 vacía, con destino A26 «Vela-06»",
                                     "0\tsin-usar\t20004.jpg: ninguna fila la usa",
                                     "0\tsin-usar\t30002.jpg: ninguna fila la usa",
                                     "8 filas de la hoja «Catálogo»: 2 problemas, 2 avisos"}));
        QCOMPARE(b.written(), QStringList());  // no images, no errores.txt
        // A step of 32 reads row 6, then the empty row 38: notes only.
        b.run("check", {"--step", "32"});
        QCOMPARE(b.exitCode, 0);
        QCOMPARE(b.out.last(), "1 filas de la hoja «Catálogo»: 0 problemas, 7 avisos");
        b.run("check", {"--format", "tif"});
        QCOMPARE(b.out.first(), "6\tfalta-origen\tF6 «12345»: no hay 12345.TIF en la carpeta fuente");
    }

    void aTextListChecksAsItsWorkbook()
    {
        // The example workbook's cells written out as a ";" list: the check
        // must walk it to the same findings as the .xls.
        Batch b;
        b.run("check");
        const QStringList fromXls = b.out;
        QProcess cells;
        cells.start(kProgram, {"cells", b.workbook});
        QVERIFY(cells.waitForFinished());
        QMap<int, QStringList> rows;
        static const QRegularExpression cell("^([A-Z])([0-9]+)\t(.*)$");
        for (const QString& line : QString::fromUtf8(cells.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = cell.match(line);
            QVERIFY2(m.hasMatch() && !m.captured(3).contains(';'), qPrintable(line));
            QStringList& row = rows[m.captured(2).toInt()];
            const int column = m.captured(1).at(0).unicode() - 'A';
            while (row.size() <= column)
                row << QString();
            row[column] = m.captured(3);
        }
        QVERIFY(rows.size() > 4);
        QByteArray csv;
        for (int r = 1; r <= rows.lastKey(); ++r)
            csv += rows.value(r).join(';').toUtf8() + "\r\n";
        b.workbook = b.dir.filePath("catalogo.csv");
        QVERIFY(fixtures::writeBytes(b.workbook, csv));
        b.run("check");
        // A text list has no sheet to name.
        QCOMPARE(b.out, QStringList(fromXls).replaceInStrings(" de la hoja «Catálogo»", ""));
        QCOMPARE(b.exitCode, 1);
    }

    void refusalsExitTwo_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("message");
        QTest::newRow("workbook that cannot be read") << QStringList() << "no es un libro";
        QTest::newRow("bad cell") << QStringList{"--origin", "6F"} << "la celda «6F» de --origin";
        QTest::newRow("one argument too many")
            << QStringList{"sobra"} << "check espera LIBRO CARPETA_FUENTE CARPETA_DESTINO";
    }

    void refusalsExitTwo()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, message);
        Batch b;
        if (extra.isEmpty())
            fixtures::writeBytes(b.workbook, QByteArray("esto\0no es un libro", 20));  // a NUL: not even a text list
        b.run("check", extra);
        QCOMPARE(b.exitCode, 2);
        QCOMPARE(b.out, QStringList());
        QVERIFY2(b.err.contains(message), qPrintable(b.err));
    }

    void hostileTexts()
    {
        Batch b(true);
        b.run("check", {"--interior-only"});  // markup has no pictures: sin-glifo is tested apart
        QCOMPARE(b.exitCode, 1);
        QCOMPARE(b.out.mid(0, 3),
                 (QStringList{"18\torigen-repetido\tF18 «12345»: 12345.jpg la usa también la fila 6",
                              "22\tdestino-repetido\tA22 «TAZA-01»: TAZA-01.jpg ya la escribe la fila 6",
                              "26\tnombre-no-valido\tF26 «..\\\\fotos\\\\12345»: "
                              "«..» lleva fuera de la carpeta elegida"}));
        QCOMPARE(b.out.last(), "6 filas de la hoja «Lote»: 2 problemas, 7 avisos");

        const QString page = b.dir.filePath("informe.html");
        b.run("run", {"--quiet", "--report", page});
        QCOMPARE(b.exitCode, 1);  // the row naming ..\fotos is not processed
        const ParsedReport report = parseReport(page);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QList<qint64> rows;
        for (const ReportCard& card : report.cards)
            rows << card.row;
        QCOMPARE(rows, (QList<qint64>{6, 10, 14, 18, 22, 26}));
        QVERIFY(report.cards[1].text.contains(kMarkup + ".jpg"));
        QVERIFY(report.cards[3].text.contains("Tab␉here␊nueva.jpg"));
        for (const ReportCard& card : report.cards)
            for (const QString& link : card.links)
                QVERIFY2(QFile::exists(linkTarget(page, link)), qPrintable(link));
    }
};

QTEST_GUILESS_MAIN(TestCheckCommand)
#include "tst_checkcommand.moc"
