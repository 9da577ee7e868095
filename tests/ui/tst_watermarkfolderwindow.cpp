#include "support/scripteduiservices.h"
#include "ui/pickers/folderpicker.h"
#include "ui/watermark/watermarkfolderwindow.h"

#include <QDir>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

class TestWatermarkFolderWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_default;  // stands for the program's "numeros" folder
    QString m_other;  // a folder of the user's, with two sub-folders
    ScriptedUiServices m_services;

    static QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }
    static QListWidget* folders(QWidget* w) { return w->findChild<QListWidget*>("Dir1"); }

    // One click on an entry: highlighted, not opened.
    static bool highlight(QWidget* w, const QString& text)
    {
        const QList<QListWidgetItem*> found = folders(w)->findItems(text, Qt::MatchExactly);
        if (found.size() != 1)
            return false;
        QTest::mouseClick(folders(w)->viewport(), Qt::LeftButton, {},
                          folders(w)->visualItemRect(found.first()).center());
        return found.first()->isSelected();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_default = QDir::cleanPath(m_tmp.path() + "/numeros");
        m_other = QDir::cleanPath(m_tmp.path() + "/marcas");
        QVERIFY(QDir().mkpath(m_default));
        QVERIFY(QDir().mkpath(m_other + "/tienda"));
        QVERIFY(QDir().mkpath(m_other + "/web"));
    }

    void init() { m_services = {}; }

    void acceptHandsOnTheOpenFolderAndHides()
    {
        QPointer<WatermarkFolderWindow> w = new WatermarkFolderWindow(m_services, m_default);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(w->findChild<FolderPicker*>()->openFolderPath(m_other));
        // A highlighted entry is not the folder taken.
        QVERIFY(highlight(w, "tienda"));
        QSignalSpy accepted(w.data(), &WatermarkFolderWindow::folderAccepted);

        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        QCOMPARE(accepted.size(), 1);
        QCOMPARE(accepted.first().first().toString(), m_other);
        QVERIFY(w->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(w, "the button hides the window, it does not destroy it");

        // The next showing finds the same folder, and nothing was opened.
        w->show();
        QCOMPARE(w->findChild<FolderPicker*>()->openFolder(), m_other);
        QVERIFY(m_services.calls.isEmpty());
        delete w;
    }

    void browseAlwaysOpensTheDefaultFolder_data()
    {
        QTest::addColumn<QString>("opened");  // relative to the temporary folder; "" leaves the start folder
        QTest::newRow("start folder") << "";
        QTest::newRow("another folder") << "marcas/web";
        QTest::newRow("the default folder") << "numeros";
    }

    void browseAlwaysOpensTheDefaultFolder()
    {
        QFETCH(QString, opened);
        WatermarkFolderWindow w(m_services, m_default);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (!opened.isEmpty())
            QVERIFY(w.findChild<FolderPicker*>()->openFolderPath(m_tmp.filePath(opened)));
        QSignalSpy accepted(&w, &WatermarkFolderWindow::folderAccepted);

        QTest::mouseClick(button(&w, "Command2"), Qt::LeftButton);
        QCOMPARE(m_services.calls.size(), 1);
        QCOMPARE(m_services.calls.first().kind, ScriptedUiServices::Kind::Desktop);
        QCOMPARE(m_services.calls.first().text, m_default);
        // Browsing neither takes a folder nor closes the window.
        QCOMPARE(accepted.size(), 0);
        QVERIFY(w.isVisible());
    }
};

QTEST_MAIN(TestWatermarkFolderWindow)
#include "tst_watermarkfolderwindow.moc"
