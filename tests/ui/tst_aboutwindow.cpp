#include "core/sysinfo/registry.h"
#include "support/scripteduiservices.h"
#include "ui/about/aboutwindow.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestAboutWindow : public QObject {
    Q_OBJECT

private:
    ScriptedUiServices m_services;
    EmptyRegistry m_registry;
    QTemporaryDir m_tmp;
    QByteArray m_savedPath;

    static QString text(QWidget* w, const char* name)
    {
        if (auto* label = w->findChild<QLabel*>(name))
            return label->text();
        if (auto* button = w->findChild<QPushButton*>(name))
            return button->text();
        return QStringLiteral("<no %1>").arg(QLatin1String(name));
    }

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

    void everyTextAsWritten_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("title") << QByteArray("lblTitle") << "FOTOLISTA";
        QTest::newRow("version") << QByteArray("lblVersion") << "Versión 1.0.0";
        QTest::newRow("description")
            << QByteArray("lblDescription")
            << "El programa consiste en seleccionar un directorio origen donde se encuentran imágenes de cualquier "
               "tamaño y formato, para una vez procesadas dejarlas en el directorio destino con un nombre que "
               "corresponde con las reglas del fichero Excel. En esa salida,  la imagen es tratada aplicando una marca "
               "de agua y una tratamiento del fichero (si se desea) y generando 2 imágenes en el directorio salida "
               "correspondientes con la miniatura y la imagen procesada  en formato JPG más grande para aplicarlo a "
               "la web.";
        QTest::newRow("batch text")
            << QByteArray("Label2")
            << "Admite proceso por lotes, ahí es donde entra el juego el fichero Excel. Una vez seleccionado el "
               "programa irá recorriendo cada fila (en función de los parámetros) y asociando el nombre en función de "
               "los datos de la hoja.";
        QTest::newRow("ok button") << QByteArray("cmdOK") << "Aceptar";
        QTest::newRow("system information button") << QByteArray("cmdSysInfo") << "&Info. del sistema...";
    }

    void everyTextAsWritten()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, expected);
        AboutWindow w(m_services, m_registry);
        QCOMPARE(text(&w, name.constData()), expected);
    }

    void theWindowAsItLoads()
    {
        AboutWindow w(m_services, m_registry);
        QCOMPARE(w.objectName(), "Acercade");
        QCOMPARE(w.windowTitle(), "Acerca del Autor.");
        QVERIFY(w.isWindow());
        QVERIFY(!w.findChild<QLabel*>("Image1")->pixmap().isNull());
        QVERIFY(!text(&w, "lblDisclaimer").isEmpty());
        // Long texts wrap instead of widening the window.
        QVERIFY(w.findChild<QLabel*>("lblDescription")->wordWrap());
        QVERIFY(w.findChild<QLabel*>("Label2")->wordWrap());
        QVERIFY(m_services.calls.isEmpty());
    }

    void theLayoutKeepsItsPlaces()
    {
        AboutWindow w(m_services, m_registry);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const auto at = [&](const char* name) {
            QWidget* c = w.findChild<QWidget*>(name);
            return QRect(c->mapTo(&w, QPoint(0, 0)), c->size());
        };
        QVERIFY(at("lblTitle").left() > at("Image1").right());
        QVERIFY(at("lblDescription").top() > at("lblTitle").bottom());
        QVERIFY(at("lblVersion").top() > at("Image1").bottom());
        QVERIFY(at("lblVersion").right() < at("lblDescription").left());
        QVERIFY(at("Label2").top() > at("lblDescription").bottom());
        QVERIFY(at("Line1").top() > at("Label2").bottom());
        QCOMPARE(at("Line2").top(), at("Line1").bottom() + 1);
        QVERIFY(at("lblDisclaimer").top() > at("Line2").bottom());
        QVERIFY(at("cmdOK").left() > at("lblDisclaimer").right());
        QVERIFY(at("cmdSysInfo").top() > at("cmdOK").bottom());
        for (const char* name : {"lblTitle", "lblDescription", "Label2", "lblDisclaimer", "cmdOK", "cmdSysInfo"})
            QVERIFY2(w.rect().contains(at(name)), name);
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

    void systemInformationWithNothingToStart()
    {
        programsOnPath({});
        AboutWindow w(m_services, m_registry);
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(m_services.calls.size(), 1);
        QCOMPARE(m_services.calls.first().kind, ScriptedUiServices::Kind::Message);
        QCOMPARE(m_services.calls.first().text, "La información del sistema no está disponible en este momento");
        QCOMPARE(m_services.calls.first().title, "Fotolista");
        QCOMPARE(m_services.calls.first().buttons, MessageButtons::Ok);
        QVERIFY2(w.isVisible(), "the window stays open after the message");
    }

    void systemInformationStartsAProgramOnPath()
    {
        programsOnPath({"gnome-system-monitor", "kinfocenter"});
        AboutWindow w(m_services, m_registry);
        QTest::mouseClick(w.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(m_services.calls.size(), 1);
        QCOMPARE(m_services.calls.first().kind, ScriptedUiServices::Kind::Program);
        QCOMPARE(m_services.calls.first().text, m_tmp.filePath("kinfocenter"));

        // When the start fails, the message follows.
        m_services = {};
        m_services.startAnswers << false;
        QTest::mouseClick(w.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(m_services.messageTexts(), QStringList{"La información del sistema no está disponible en este momento"});
    }
};

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
