#include "support/scripteduiservices.h"
#include "ui/summary/summarywindow.h"

#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace fotolista;

class TestSummaryWindow : public QObject {
    Q_OBJECT

private:
    ScriptedUiServices m_services;

    std::unique_ptr<SummaryWindow> makeWindow(const RunTotals& totals = {})
    {
        return std::make_unique<SummaryWindow>(m_services, totals);
    }

    static QString text(QWidget* w, const char* name) { return w->findChild<QLabel*>(name)->text(); }
    static QTreeWidget* view(QWidget* w) { return w->findChild<QTreeWidget*>("miarbol"); }
    static QWidget* page(QWidget* w) { return w->findChild<QWidget*>("picOptions"); }
    static QTabBar* tabs(QWidget* w) { return w->findChild<QTabBar*>("tbsOptions"); }
    static int pageLeft(QWidget* w) { return page(w)->mapTo(w, QPoint(0, 0)).x(); }

    static void appendLines(QStringList& out, const QTreeWidgetItem* item, int depth)
    {
        out << QString(depth * 2, ' ') + item->text(0);
        for (int i = 0; i < item->childCount(); ++i)
            appendLines(out, item->child(i), depth + 1);
    }

    static QStringList viewLines(QWidget* w)
    {
        QStringList out;
        for (int i = 0; i < view(w)->topLevelItemCount(); ++i)
            appendLines(out, view(w)->topLevelItem(i), 0);
        return out;
    }

    // A run of three rows: two written, one missing, in the order the run adds them.
    static void playRun(SummaryTree& tree)
    {
        tree.clear();
        tree.addRoots();
        tree.addRowEntry(1, "1 ID", "1 - C.O: F6 valor: 12345.JPG || C.D.: A6 :  valor: ABC.jpg", kEntryBlack,
                         "procesado");
        tree.addDetail("1 ID", "Tam I Grande: 812 Kb. Tam F Grande: 64 Kb.");
        tree.addDetail("1 ID", "Porcentaje comprimido 92 % || Ratio: 1,92 sobre unidad");
        tree.addRowEntry(2, "2 ID", "2 - C.O: F10 valor: 99999.JPG || C.D.: A10 :  valor: XYZ.jpg", kEntryRed,
                         "No procesado");
        tree.addRowEntry(1, "3 ID", "3 - C.O: F14 valor: 55555.JPG || C.D.: A14 :  valor: DEF.jpg", kEntryBlack,
                         "procesado");
        tree.addDetail("3 ID", "Tam I Grande: 100 Kb. Tam F Grande: 20 Kb.");
        tree.addDetail("3 ID", "Porcentaje comprimido 80 % || Ratio: 1,8 sobre unidad");
        tree.setCounters(3, 1, 2);
    }

private slots:
    // Spanish groups thousands; the window must not.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void init() { m_services = {}; }

    void startsEmptyWithOneTabAndBareTotals()
    {
        RunTotals totals;
        totals.kbReadTotal = 1234567;
        totals.kbWrittenTotal = 250;
        auto w = makeWindow(totals);
        QCOMPARE(tabs(w.get())->count(), 1);
        QCOMPARE(tabs(w.get())->tabText(0), "Grupo 1");
        QCOMPARE(tabs(w.get())->tabToolTip(0), "Set Options for Group 1");
        QCOMPARE(view(w.get())->topLevelItemCount(), 0);
        QCOMPARE(text(w.get(), "Tleidon"), "1234567");
        QCOMPARE(text(w.get(), "Tcomprimidon"), "250");
        QVERIFY(!w->isVisible());

        const QRect screen = w->screen()->geometry();
        QVERIFY(qAbs(w->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w->geometry().center().y() - screen.center().y()) <= 1);
    }

    void runFillsTreeLive()
    {
        auto w = makeWindow();
        SummaryTree& tree = w->tree();
        tree.clear();
        tree.addRoots();
        QCOMPARE(viewLines(w.get()), QStringList({"-> Imagenes asociadas", "-> No asociadas"}));
        tree.addRowEntry(2, "1 ID", "1 - C.O: F6 valor: .JPG || C.D.: A6 :  valor: ABC.jpg", kEntryRed, "No procesado");
        // Each row shows as soon as it is added, its root opened.
        QCOMPARE(view(w.get())->topLevelItem(1)->childCount(), 1);
        QVERIFY(view(w.get())->topLevelItem(1)->isExpanded());

        playRun(tree);
        QCOMPARE(viewLines(w.get()), tree.toLines());
        QCOMPARE(viewLines(w.get()),
                 QStringList({"-> Imagenes asociadas", "  1 - C.O: F6 valor: 12345.JPG || C.D.: A6 :  valor: ABC.jpg",
                              "    Tam I Grande: 812 Kb. Tam F Grande: 64 Kb.",
                              "    Porcentaje comprimido 92 % || Ratio: 1,92 sobre unidad",
                              "  3 - C.O: F14 valor: 55555.JPG || C.D.: A14 :  valor: DEF.jpg",
                              "    Tam I Grande: 100 Kb. Tam F Grande: 20 Kb.",
                              "    Porcentaje comprimido 80 % || Ratio: 1,8 sobre unidad", "-> No asociadas",
                              "  2 - C.O: F10 valor: 99999.JPG || C.D.: A10 :  valor: XYZ.jpg"}));

        const QTreeWidgetItem* associated = view(w.get())->topLevelItem(0);
        const QTreeWidgetItem* notAssociated = view(w.get())->topLevelItem(1);
        QVERIFY(associated->isExpanded());
        QVERIFY(notAssociated->isExpanded());
        const QTreeWidgetItem* written = associated->child(1);
        QCOMPARE(written->foreground(0).color(), QColor(Qt::black));
        QCOMPARE(written->data(0, Qt::UserRole).toString(), "procesado");
        QCOMPARE(written->data(0, Qt::UserRole + 1).toString(), "3 ID");
        const QTreeWidgetItem* missing = notAssociated->child(0);
        QCOMPARE(missing->foreground(0).color(), QColor(Qt::red));
        QCOMPARE(missing->data(0, Qt::UserRole).toString(), "No procesado");
        QCOMPARE(missing->data(0, Qt::UserRole + 1).toString(), "2 ID");

        QCOMPARE(text(w.get(), "Totales"), "3");
        QCOMPARE(text(w.get(), "Noprocesadas"), "1");
        QCOMPARE(text(w.get(), "procesadas"), "2");
    }

    void newRunReplacesOldOne()
    {
        auto w = makeWindow();
        playRun(w->tree());
        w->tree().clear();
        QCOMPARE(view(w.get())->topLevelItemCount(), 0);
        QCOMPARE(text(w.get(), "Totales"), "0");
        QCOMPARE(text(w.get(), "Noprocesadas"), "0");
        QCOMPARE(text(w.get(), "procesadas"), "0");

        w->tree().addRoots();
        w->tree().addRowEntry(1, "1 ID", "nueva", kEntryBlack, "procesado");
        // A detail for a key of the old run has nowhere to go.
        w->tree().addDetail("3 ID", "vieja");
        w->tree().addDetail("1 ID", "detalle");
        QCOMPARE(viewLines(w.get()),
                 QStringList({"-> Imagenes asociadas", "  nueva", "    detalle", "-> No asociadas"}));
    }

    void entryColours_data()
    {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("black") << quint32(0) << QColor(0, 0, 0);
        QTest::newRow("red") << quint32(255) << QColor(255, 0, 0);
        QTest::newRow("green") << quint32(0x00FF00) << QColor(0, 255, 0);
        QTest::newRow("blue") << quint32(0xFF0000) << QColor(0, 0, 255);
        QTest::newRow("mixed") << quint32(0x336699) << QColor(0x99, 0x66, 0x33);
    }

    void entryColours()
    {
        QFETCH(quint32, value);
        QFETCH(QColor, colour);
        auto w = makeWindow();
        w->tree().addRoots();
        w->tree().addRowEntry(1, "1 ID", "fila", value, "procesado");
        QCOMPARE(view(w.get())->topLevelItem(0)->child(0)->foreground(0).color(), colour);
    }

    void counters_data()
    {
        QTest::addColumn<qint64>("totales");
        QTest::addColumn<qint64>("noProcesadas");
        QTest::addColumn<qint64>("procesadas");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("nothing handled") << qint64(0) << qint64(0) << qint64(0) << QStringList{"0", "0", "0"};
        QTest::newRow("stopped run") << qint64(-1) << qint64(0) << qint64(-1) << QStringList{"-1", "0", "-1"};
        QTest::newRow("thousands") << qint64(40000) << qint64(1234) << qint64(-26770)
                                   << QStringList{"40000", "1234", "-26770"};
    }

    void counters()
    {
        QFETCH(qint64, totales);
        QFETCH(qint64, noProcesadas);
        QFETCH(qint64, procesadas);
        QFETCH(QStringList, shown);
        auto w = makeWindow();
        w->tree().setCounters(totales, noProcesadas, procesadas);
        QCOMPARE(QStringList({text(w.get(), "Totales"), text(w.get(), "Noprocesadas"), text(w.get(), "procesadas")}),
                 shown);
    }

    void openingTwiceResetsTotalsInOneWindow()
    {
        RunTotals totals;
        totals.kbReadTotal = 250;
        totals.kbWrittenTotal = 20;
        auto w = makeWindow(totals);
        w->showWithTotals(totals);
        QVERIFY(w->isVisible());
        QCOMPARE(text(w.get(), "Tleidon"), "250 kb");
        QCOMPARE(text(w.get(), "Tcomprimidon"), "20 kb");

        totals.kbReadTotal = 123456;
        totals.kbWrittenTotal = 0;
        w->showWithTotals(totals);
        QCOMPARE(text(w.get(), "Tleidon"), "123456 kb");
        QCOMPARE(text(w.get(), "Tcomprimidon"), "0 kb");
        QVERIFY(w->isVisible());
        int windows = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            windows += qobject_cast<SummaryWindow*>(top) != nullptr;
        QCOMPARE(windows, 1);
    }

    // With a second tab the switching shows: page 0 leaves the view, disabled.
    void tabSwitching_data()
    {
        QTest::addColumn<int>("tabCount");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("tab");
        QTest::newRow("one tab, ctrl") << 1 << int(Qt::Key_Tab) << int(Qt::ControlModifier) << 0;
        QTest::newRow("ctrl") << 2 << int(Qt::Key_Tab) << int(Qt::ControlModifier) << 1;
        QTest::newRow("ctrl shift") << 2 << int(Qt::Key_Backtab) << int(Qt::ControlModifier | Qt::ShiftModifier) << 0;
        QTest::newRow("ctrl alt") << 2 << int(Qt::Key_Tab) << int(Qt::ControlModifier | Qt::AltModifier) << 0;
        QTest::newRow("plain tab") << 2 << int(Qt::Key_Tab) << int(Qt::NoModifier) << 0;
    }

    void tabSwitching()
    {
        QFETCH(int, tabCount);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, tab);
        auto w = makeWindow();
        w->showWithTotals({});
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(pageLeft(w.get()), 14);
        if (tabCount == 2)
            tabs(w.get())->addTab("Grupo 2");

        QTest::keyClick(view(w.get()), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(tabs(w.get())->currentIndex(), tab);
        QCOMPARE(pageLeft(w.get()), tab == 0 ? 14 : -1333);
        QCOMPARE(page(w.get())->isEnabled(), tab == 0);

        // The next Ctrl+Tab wraps round from the last tab, and a click selects too.
        QTest::keyClick(w.get(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs(w.get())->currentIndex(), (tab + 1) % tabCount);
        QTest::mouseClick(tabs(w.get()), Qt::LeftButton, {}, tabs(w.get())->tabRect(0).center());
        QCOMPARE(tabs(w.get())->currentIndex(), 0);
        QCOMPARE(pageLeft(w.get()), 14);
        QVERIFY(page(w.get())->isEnabled());
    }

    void acceptHidesAndKeepsTree()
    {
        auto w = makeWindow();
        playRun(w->tree());
        w->showWithTotals({});
        const QStringList lines = viewLines(w.get());
        QTest::mouseClick(w->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w->showWithTotals({});
        QCOMPARE(viewLines(w.get()), lines);
        QCOMPARE(text(w.get(), "Totales"), "3");
    }

    void errorLogButton_data()
    {
        QTest::addColumn<bool>("viewerStarts");
        QTest::newRow("no file yet") << true;
        QTest::newRow("viewer missing") << false;
    }

    // The log of the working folder at the time of the click, whatever comes of it.
    void errorLogButton()
    {
        QFETCH(bool, viewerStarts);
        QTemporaryDir work;
        const QString saved = QDir::currentPath();
        auto w = makeWindow();
        QVERIFY(QDir::setCurrent(work.path()));
        m_services.startAnswers << viewerStarts;
        QTest::mouseClick(w->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QDir::setCurrent(saved);

        QVERIFY(!QFile::exists(work.filePath("errores.txt")));
        QCOMPARE(m_services.calls.size(), 1);  // nothing said
        QCOMPARE(m_services.calls.first().kind, ScriptedUiServices::Kind::Desktop);
        QCOMPARE(m_services.calls.first().text, work.path() + "/errores.txt");
    }
};

QTEST_MAIN(TestSummaryWindow)
#include "tst_summarywindow.moc"
