#include "core/check/batchcheck.h"
#include "core/image/bitmap.h"
#include "core/report/batchrecord.h"
#include "core/report/htmlreport.h"
#include "core/report/htmltext.h"
#include "core/summary/summarytexts.h"
#include "support/imagefixtures.h"
#include "support/parsedreport.h"
#include "support/runrig.h"

#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QTest>

using namespace fotolista;

namespace {

const QString kMarkup = QStringLiteral("\"><img src=x onerror=alert(1)>");
const QString kOddName = QStringLiteral("Año #1 50% ¿?&x");

/// The rig's run recorded as the window and the command record it; its report is written to `page`.
BatchRecord recordRun(RunRig& rig, const QString& page)
{
    BatchRecord record;
    record.begin(rig.settings, checkBatch(rig.settings, rig.reader), QDateTime(QDate(2026, 12, 8), QTime(10, 42)));
    rig.view.onRow = [&record](const RowReport& row) { record.addRow(row); };
    record.finish(rig.run());
    if (!writeHtmlReport(record, page))
        record = BatchRecord();
    return record;
}

}  // namespace

class TestHtmlReport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initialiseImageLibrary();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }

    void textsAndLinks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("link");
        QTest::newRow("plain") << "sub/TAZA-01.jpg"
                               << "sub/TAZA-01.jpg"
                               << "sub/TAZA-01.jpg";
        QTest::newRow("markup") << kMarkup << "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"
                                << "%22%3E%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E";
        QTest::newRow("quotes and an entity") << "a&amp;'b'"
                                              << "a&amp;amp;&#39;b&#39;"
                                              << "a%26amp%3B%27b%27";
        QTest::newRow("blank, #, %, ?, &") << "mi #1 50%?&.jpg"
                                           << "mi #1 50%?&amp;.jpg"
                                           << "mi%20%231%2050%25%3F%26.jpg";
        QTest::newRow("accented letters") << "pequeñas/Año.jpg"
                                          << "pequeñas/Año.jpg"
                                          << "peque%C3%B1as/A%C3%B1o.jpg";
        QTest::newRow("a colon is no scheme") << "c:a.jpg"
                                              << "c:a.jpg"
                                              << "c%3Aa.jpg";
        QTest::newRow("controls shown") << QString("a\tb\n") + QChar(0) + QChar(0x7F) << "a␉b␊␀␡"
                                        << "a%09b%0A%00%7F";
    }

    void textsAndLinks()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QFETCH(QString, link);
        QCOMPARE(htmlText(text), escaped);
        QCOMPARE(linkPath(text), link);
    }

    // Every row once and in order; pictures that are the small copies; links
    // that reach the large ones; hostile names as text; the head and the problems.
    void theReportReadsBack()
    {
        RunRig rig;
        rig.addPhoto("1.jpg", 400, 300, 0xCC3333);
        rig.addPhoto(kMarkup + ".jpg", 300, 400, 0x3333CC);
        rig.addPhoto("foto con espacios.jpg");
        rig.setRows({{"1", "TAZA-01"},
                     {"9", "Falta"},
                     {kMarkup, kMarkup},
                     {"", "Vela"},
                     {"foto con espacios", kOddName},
                     {"1", "TAZA-01"}});
        const QString page = rig.dir.filePath("informe/lote.html");
        QDir().mkpath(rig.dir.filePath("informe"));
        const BatchRecord record = recordRun(rig, page);

        const ParsedReport report = parseReport(page);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QList<qint64> rows;
        QList<bool> red;
        for (const ReportCard& card : report.cards) {
            rows << card.row;
            red << card.red;
        }
        QCOMPARE(rows, (QList<qint64>{6, 10, 14, 18, 22, 26}));
        // The last row would replace the first row's image: it is refused.
        QCOMPARE(red, (QList<bool>{false, true, false, true, false, true}));
        for (int i = 0; i < report.cards.size(); ++i) {
            const ReportCard& card = report.cards[i];
            QCOMPARE(card.image.isEmpty(), card.red);
            if (card.red)
                continue;
            QVERIFY(card.image.startsWith("data:image/jpeg;base64,"));
            const ReportRow& row = record.rows()[i];
            QCOMPARE(QByteArray::fromBase64(card.image.section(',', 1).toLatin1()), fixtures::readBytes(row.smallPath));
            QCOMPARE(fixtures::decode(row.smallPath).width, 145);
            QCOMPARE(card.links.size(), 2);
            for (const QString& link : card.links)
                QCOMPARE(linkTarget(page, link), row.largePath);
        }
        QVERIFY(report.cards[2].text.contains(kMarkup + ".jpg"));
        QVERIFY(report.cards[4].text.contains(kOddName + ".jpg"));
        QVERIFY(report.cards[1].text.contains("No procesada: la foto no está en la carpeta fuente"));
        QVERIFY(report.cards[3].text.contains("Origen F18: (vacía)"));
        QVERIFY(report.cards[5].text.contains("destino-repetido: A26 «TAZA-01»: TAZA-01.jpg ya la escribe la "
                                              "fila 6"));
        QVERIFY(report.cards[5].text.contains("TAZA-01.jpg» ya la ha escrito la fila 6 en este lote"));
        for (const char* head : {"Celdasorigen F6, destino A6, salto 4", "Anchuras409 y 145 píxeles", "Finalcompleto",
                                 "Filas: 6", "Con imágenes: 3", "Sin imágenes: 3", "Problemas: 3",
                                 "Fila 10 falta-origen: F10 «9»: no hay 9.JPG en la carpeta fuente"})
            QVERIFY2(report.text.contains(QString::fromUtf8(head)), head);
        // Markup stays text: the page has its own elements and attributes only.
        QCOMPARE(report.elements,
                 (QSet<QString>{"html", "head", "meta", "title", "style", "body",    "h1",  "h2", "div",  "dl",
                                "dt",   "dd",   "ul",   "li",    "a",     "article", "img", "p",  "span", "br"}));
        QCOMPARE(report.attributes, (QSet<QString>{"lang", "charset", "name", "content", "class", "href", "id",
                                                   "data-fila", "src", "alt"}));
    }

    void aRowWithoutImagesSaysWhy()
    {
        RunRig rig;
        rig.addPhoto("1.jpg");
        QVERIFY(fixtures::writeBytes(rig.source + "/2.jpg", "no es una foto"));
        rig.setRows({{"1", "A"}, {"2", "B"}});
        const QString page = rig.dir.filePath("lote.html");
        recordRun(rig, page);
        const ParsedReport report = parseReport(page);
        QCOMPARE(report.cards.size(), 2);
        QVERIFY(!report.cards[0].red && report.cards[1].red);
        // The reason the command's warning gives too.
        QVERIFY2(report.cards[1].text.contains("la foto no se puede leer: no es una imagen JPEG, TIFF, PNG, WebP"),
                 qPrintable(report.cards[1].text));
    }

    // Python's HTML parser, which knows nothing of ours, sees the same.
    void asAnotherHtmlParserSeesIt()
    {
        RunRig rig;
        rig.addPhoto(kMarkup + ".jpg");
        rig.setRows({{kMarkup, kMarkup}, {"9", "<script>alert(2)</script>"}});
        const QString page = rig.dir.filePath("informe.html");
        recordRun(rig, page);
        QProcess python;
        python.start("/usr/bin/python3", {"-c", R"(
import sys
from html.parser import HTMLParser
class P(HTMLParser):
    def handle_starttag(self, tag, attrs): print("tag", tag, *[a for a, _ in attrs])
    def handle_data(self, data): print("text", data.replace("\n", " "))
P().feed(open(sys.argv[1], encoding="utf-8").read()))",
                                          page});
        QVERIFY(python.waitForFinished(60000));
        const QStringList seen = QString::fromUtf8(python.readAllStandardOutput()).split('\n');
        QCOMPARE(seen.filter(QRegularExpression("^tag img ")).size(), 1);
        QCOMPARE(seen.filter(QRegularExpression("^tag script|^tag .* on\\w+")), QStringList());
        QVERIFY(seen.contains("text " + kMarkup));
        QVERIFY(seen.contains("text <script>alert(2)</script>"));
    }

    // A row "Solo cambiadas" skipped still shows the copies an earlier run made.
    void anUnchangedRowShowsItsCopies()
    {
        RunRig rig;
        rig.addPhoto("1.jpg", 400, 300, 0xCC3333);
        rig.setRows({{"1", "TAZA-01"}, {"9", "Falta"}});
        rig.settings.setOnlyChanged(true);
        rig.run();
        const QString page = rig.dir.filePath("informe.html");
        const BatchRecord record = recordRun(rig, page);
        QCOMPARE(record.rows()[0].report.outcome, RowOutcome::Unchanged);
        const ParsedReport report = parseReport(page);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(report.cards.size(), 2);
        const ReportCard& card = report.cards[0];
        QVERIFY(!card.red);
        QCOMPARE(QByteArray::fromBase64(card.image.section(',', 1).toLatin1()),
                 fixtures::readBytes(record.rows()[0].smallPath));
        QCOMPARE(card.links.size(), 2);
        QCOMPARE(linkTarget(page, card.links[1]), record.rows()[0].largePath);
        QVERIFY(card.text.contains(unchangedDetailText()));
        for (const char* head : {"Con imágenes: 0", "Sin cambios: 1", "Sin imágenes: 1"})
            QVERIFY2(report.text.contains(QString::fromUtf8(head)), head);
    }

    void aLargeSmallCopyIsLinkedNotEmbedded()
    {
        RunRig rig;
        QVERIFY(fixtures::writePhotoJpeg(rig.source + "/1.jpg", 2000, 1500, 0));
        rig.settings.setSmallWidth(2000);
        rig.setRows({{"1", "A b#"}});
        const QString page = rig.dir.filePath("informe.html");
        const BatchRecord record = recordRun(rig, page);
        QVERIFY(QFileInfo(record.rows()[0].smallPath).size() > kMaxEmbeddedThumbnailBytes);
        const ParsedReport report = parseReport(page);
        QCOMPARE(report.cards[0].image, "destino/peque%C3%B1as/A%20b%23_p.jpg");
        QCOMPARE(linkTarget(page, report.cards[0].image), record.rows()[0].smallPath);
    }
};

QTEST_GUILESS_MAIN(TestHtmlReport)
#include "tst_htmlreport.moc"
