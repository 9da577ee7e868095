#include "core/check/batchcheck.h"
#include "core/image/bitmap.h"
#include "support/examplebatch.h"
#include "support/imagefixtures.h"
#include "support/mainwindowrig.h"
#include "support/parsedreport.h"
#include "support/scripteduiservices.h"
#include "support/windows.h"
#include "ui/check/checkwindow.h"
#include "ui/mainwindow/mainwindow.h"
#include "ui/services/toneplayer.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>

using namespace fotolista;

namespace {

/// The table's lines as "ROW KIND", top to bottom.
QStringList tableLines(const QWidget* window)
{
    const auto* table = window->findChild<QTableWidget*>("hallazgos");
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r)
        out << table->item(r, 0)->text() + " " + table->item(r, 1)->text();
    return out;
}

/// A main window working in a copy of the example batch, which is chosen.
struct Rig : MainWindowRig {
    ~Rig() { delete findWindow<CheckWindow>(); }
    void chooseTheBatch()
    {
        window->settings().restoreRunDefaults();
        window->settings().setWorkbookPath(workbook);
        window->settings().setSourceFolder(source);
        window->settings().setDestinationFolder(destination);
    }
    void use(const char* item) { window->findChild<QAction*>(QLatin1String(item))->trigger(); }
};

}  // namespace

class TestCheckWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initialiseImageLibrary(); }

    void sortableProblemsInRed()
    {
        CheckResult result;
        result.rowCount = 3;
        result.findings = {{10, FindingKind::MissingSource, "F10 «9»: no hay 9.JPG en la carpeta fuente", 0},
                           {14, FindingKind::Overwrites, "A14 «C»: C.jpg ya existe y se reemplazará", 0},
                           {0, FindingKind::Unused, "7.jpg: ninguna fila la usa", 0},
                           {6, FindingKind::Ambiguous, "F6 «a»: a.jpg, A.jpg; se usa a.jpg", 0}};
        CheckWindow window;
        window.showResult(result);
        window.show();
        QCOMPARE(window.findChild<QLabel*>("resumen")->text(), "3 filas: 1 problemas, 3 avisos");
        // By row, the folder's findings last; only the problem in red.
        QCOMPARE(tableLines(&window), (QStringList{"6 ambiguo", "10 falta-origen", "14 sobrescribe", "0 sin-usar"}));
        const auto* table = window.findChild<QTableWidget*>("hallazgos");
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < 3; ++c)
                QCOMPARE(table->item(r, c)->foreground().color() == QColor(Qt::red), r == 1);
        // A click on a heading sorts by that column, a second click the other way.
        QHeaderView* header = table->horizontalHeader();
        const QPoint kind(header->sectionViewportPosition(1) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, kind);
        QCOMPARE(tableLines(&window), (QStringList{"6 ambiguo", "10 falta-origen", "0 sin-usar", "14 sobrescribe"}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, kind);
        QCOMPARE(tableLines(&window).first(), "14 sobrescribe");
        QTest::mouseClick(window.findChild<QPushButton*>("aceptar"), Qt::LeftButton);
        QVERIFY(window.isHidden());
    }

    void theCheckItem()
    {
        Rig rig;
        rig.use("comprobar");  // nothing chosen: the run's refusal
        QCOMPARE(rig.ui.messageTexts(), QStringList{"Es necesario especificar la fuente, el destino y el archivo XLS"});
        QCOMPARE(findWindow<CheckWindow>(), nullptr);

        rig.chooseTheBatch();
        rig.use("comprobar");
        CheckWindow* window = findWindow<CheckWindow>();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->findChild<QLabel*>("resumen")->text(), "8 filas de la hoja «Catálogo»: 2 problemas, 2 avisos");
        QCOMPARE(tableLines(window), (QStringList{"22 falta-origen", "26 origen-vacio", "0 sin-usar", "0 sin-usar"}));
        QCOMPARE(fixtures::filesUnder(rig.destination), QStringList());
        QVERIFY(!QFile::exists(rig.dir.filePath("errores.txt")));
        // A second use checks again in the same window.
        QFile::rename(rig.source + "/20004.jpg", rig.source + "/99999.jpg");
        rig.use("comprobar");
        QCOMPARE(findWindow<CheckWindow>(), window);
        QCOMPARE(window->findChild<QLabel*>("resumen")->text(), "8 filas de la hoja «Catálogo»: 1 problemas, 1 avisos");
    }

    void theReportItem()
    {
        Rig rig;
        rig.use("informe");
        QCOMPARE(rig.ui.messageTexts(), QStringList{"Todavía no se ha procesado ningún lote."});

        rig.chooseTheBatch();
        rig.window->startRun();
        rig.use("informe");
        const QString page = rig.dir.filePath("informe.html");  // beside errores.txt
        QVERIFY(QFile::exists(rig.dir.filePath("errores.txt")));
        const QList<ScriptedUiServices::Call> opened = rig.ui.callsOf(ScriptedUiServices::Kind::Desktop);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().text, page);
        const ParsedReport report = parseReport(page);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(report.cards.size(), 8);
        int pictures = 0;
        for (const ReportCard& card : report.cards)
            pictures += card.image.startsWith("data:image/jpeg;base64,") ? 1 : 0;
        QCOMPARE(pictures, 6);
        QVERIFY(report.text.contains("Fila 22 falta-origen"));
    }

    // The last run's files, as the command's --manifest lists them.
    void theFileListItem()
    {
        Rig rig;
        rig.use("listaarchivos");
        QCOMPARE(rig.ui.messageTexts(), QStringList{"Todavía no se ha procesado ningún lote."});

        rig.chooseTheBatch();
        rig.window->startRun();
        rig.ui.fileAnswers << FileChoice::chosen(rig.dir.filePath("lista"));
        rig.use("listaarchivos");
        const QList<ScriptedUiServices::Call> dialogs = rig.ui.callsOf(ScriptedUiServices::Kind::FileDialog);
        QCOMPARE(dialogs.constLast().text, QStringLiteral("Guardar la lista de archivos"));
        const QStringList lines =
            QString::fromUtf8(fixtures::readBytes(rig.dir.filePath("lista.csv"))).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 8);  // the header, then every row of the walk
        QVERIFY2(lines[0].startsWith("fila,destino,grande,grande bytes"), qPrintable(lines[0]));
        QVERIFY(!lines.filter(QRegularExpression("^6,TAZA-01,TAZA-01\\.jpg,[0-9]+,409,")).isEmpty());
    }
};

QTEST_MAIN(TestCheckWindow)
#include "tst_checkwindow.moc"
