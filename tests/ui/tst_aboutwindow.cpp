#include "core/sysinfo/registry.h"
#include "support/scripteduiservices.h"
#include "ui/about/aboutwindow.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

class TestAboutWindow : public QObject {
    Q_OBJECT

private:
    ScriptedUiServices m_services;
    EmptyRegistry m_registry;
    QTemporaryDir m_tmp;
    QByteArray m_savedPath;

    // Only the programs of the temporary folder are on PATH.
    void programsOnPath(const QStringList& names)
    {
        for (const QString& name : names) {
            QFile f(m_tmp.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n");
            f.close();
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        qputenv("PATH", m_tmp.path().toLocal8Bit());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_savedPath = qgetenv("PATH");
    }

    void init() { m_services = {}; }
    void cleanup() { qputenv("PATH", m_savedPath); }

    void whatTheWindowWritesWhenItLoads()
    {
        AboutWindow w(m_services, m_registry);
        QCOMPARE(w.windowTitle(), "Acerca del Autor.");
        QCOMPARE(w.findChild<QLabel*>("lblTitle")->text(), "FOTOLISTA");
        QCOMPARE(w.findChild<QLabel*>("lblVersion")->text(), "Versión " FOTOLISTA_PROJECT_VERSION);
        QVERIFY(!w.findChild<QLabel*>("Image1")->pixmap().isNull());
        QVERIFY(m_services.calls.isEmpty());
    }

    void okDestroysTheWindow()
    {
        QPointer<AboutWindow> w = new AboutWindow(m_services, m_registry);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::mouseClick(w->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w);
    }

    void systemInformation_data()
    {
        QTest::addColumn<QStringList>("onPath");
        QTest::addColumn<bool>("startWorks");
        QTest::addColumn<QString>("started");  // relative to the PATH folder; "" for none
        QTest::newRow("nothing to start") << QStringList{} << true << "";
        QTest::newRow("a program on PATH")
            << QStringList{"gnome-system-monitor", "kinfocenter"} << true << "kinfocenter";
        QTest::newRow("the program fails to start") << QStringList{"kinfocenter"} << false << "kinfocenter";
    }

    void systemInformation()
    {
        QFETCH(QStringList, onPath);
        QFETCH(bool, startWorks);
        QFETCH(QString, started);
        programsOnPath(onPath);
        m_services.startAnswers << startWorks;
        AboutWindow w(m_services, m_registry);
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        const auto programs = m_services.callsOf(ScriptedUiServices::Kind::Program);
        QCOMPARE(programs.size(), started.isEmpty() ? 0 : 1);
        if (!started.isEmpty())
            QCOMPARE(programs.first().text, m_tmp.filePath(started));
        const auto boxes = m_services.callsOf(ScriptedUiServices::Kind::Message);
        QCOMPARE(boxes.size(), startWorks && !started.isEmpty() ? 0 : 1);
        if (!boxes.isEmpty()) {
            QCOMPARE(boxes.first().text, "La información del sistema no está disponible en este momento");
            QCOMPARE(boxes.first().title, "Fotolista");
        }
        QVERIFY2(w.isVisible(), "the window stays open");
    }
};

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
