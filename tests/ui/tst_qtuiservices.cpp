#include "support/imagefixtures.h"
#include "ui/services/qttranslation.h"
#include "ui/services/qtuiservices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace fotolista;

namespace {

/// Acts on the modal dialog that the next call opens, once it is up. Each
/// retry is a fresh timer: a callback holding a pointer to itself would never
/// be freed.
void whenModal(std::function<void(QWidget*)> act, int delayMs = 0)
{
    QTimer::singleShot(delayMs, [act] {
        if (QWidget* modal = QApplication::activeModalWidget())
            act(modal);
        else
            whenModal(act, 10);
    });
}

}  // namespace

class TestQtUiServices : public QObject {
    Q_OBJECT

private slots:
    void messageBoxes_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("title");  // given; "" for none
        QTest::addColumn<QString>("shownTitle");
        QTest::newRow("ok") << int(MessageButtons::Ok) << int(QMessageBox::Ok) << int(MessageAnswer::Ok) << ""
                            << "Fotolista";
        QTest::newRow("yes") << int(MessageButtons::YesNo) << int(QMessageBox::Yes) << int(MessageAnswer::Yes) << ""
                             << "Fotolista";
        QTest::newRow("no") << int(MessageButtons::YesNo) << int(QMessageBox::No) << int(MessageAnswer::No) << ""
                            << "Fotolista";
        QTest::newRow("a given title") << int(MessageButtons::Ok) << int(QMessageBox::Ok) << int(MessageAnswer::Ok)
                                       << "Error de archivos"
                                       << "Error de archivos";
    }

    void messageBoxes()
    {
        QFETCH(int, buttons);
        QFETCH(int, press);
        QFETCH(int, answer);
        QFETCH(QString, title);
        QFETCH(QString, shownTitle);
        QtUiServices services;
        QString shown;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            shown = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->button(QMessageBox::StandardButton(press))->click();
        });
        const MessageAnswer got = services.showMessage("Se ha producido un error en la escritura",
                                                       MessageButtons(buttons), MessageIcon::Critical, title);
        QCOMPARE(int(got), answer);
        QCOMPARE(shown, shownTitle);
        QCOMPARE(text, QStringLiteral("Se ha producido un error en la escritura"));
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void promptsGiveTheTextOrNothing()
    {
        QtUiServices services;
        QString title;
        whenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<QInputDialog*>(w);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            QCOMPARE(dialog->labelText(), QStringLiteral("Introduzca la Altura de la Marca de agua: "));
            QCOMPARE(dialog->textValue(), QString());  // empty at first
            dialog->setTextValue(" 30 ");
            dialog->accept();
        });
        QCOMPARE(services.askText("Introduzca la Altura de la Marca de agua: "), QStringLiteral(" 30 "));
        QCOMPARE(title, QStringLiteral("Fotolista"));

        whenModal([](QWidget* w) {
            auto* dialog = qobject_cast<QInputDialog*>(w);
            dialog->setTextValue("typed, then cancelled");
            dialog->reject();
        });
        QCOMPARE(services.askText("Introduzca el directorio a crear:", "Directorio"), QString());
    }

    void theOpenFileDialog()
    {
        QTemporaryDir dir;
        const QString book = dir.filePath("libro.xls");
        fixtures::writeBytes(book, "x");
        QtUiServices services;
        QStringList filters;
        QString title;
        whenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            dialog->selectFile(book);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const FileChoice chosen = services.chooseFileToOpen("Ruta Origen de Archivos de Excel, solo Xls como extensión",
                                                            "Archivos para emparejar(*.XLS)|*.xls|");
        QCOMPARE(chosen.status, FileChoice::Status::Chosen);
        QCOMPARE(chosen.path, book);
        QCOMPARE(title, QStringLiteral("Ruta Origen de Archivos de Excel, solo Xls como extensión"));
        QCOMPARE(filters, QStringList{"Archivos para emparejar(*.XLS) (*.xls)"});

        whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
        QCOMPARE(services.chooseFileToOpen("t", "Excel|*.xls|").status, FileChoice::Status::Cancelled);
    }

    void qtsOwnTextsSpeakTheUsersLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        // OK; Yes and No; a prompt's Cancel; the file dialog's Open and the
        // kind it gives a folder; a text box's first menu entry.
        QTest::addColumn<QStringList>("texts");
        const QStringList spanish{"Aceptar", "&Sí", "&No", "Cancelar", "&Abrir", "Carpeta", "&Deshacer"};
        const QStringList english{"OK", "&Yes", "&No", "Cancel", "&Open", "Folder", "&Undo"};
        QTest::newRow("Spanish") << "es_ES" << spanish;
        QTest::newRow("Spanish of another country") << "es_MX" << spanish;
        QTest::newRow("English") << "en_US" << english;
        QTest::newRow("a language Qt has no texts for") << "eu_ES" << english;
    }

    void qtsOwnTextsSpeakTheUsersLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, texts);
        const std::unique_ptr<QTranslator> translation = installQtTranslation(QLocale(locale));
        QtUiServices services;
        QStringList shown;
        const auto buttonText = [&](QDialogButtonBox::StandardButton which, bool accept) {
            whenModal([&shown, which, accept](QWidget* w) {
                shown << w->findChild<QDialogButtonBox*>()->button(which)->text();
                accept ? qobject_cast<QDialog*>(w)->accept() : qobject_cast<QDialog*>(w)->reject();
            });
        };
        buttonText(QDialogButtonBox::Ok, true);
        services.showMessage("¿ Desea salir del programa ?", MessageButtons::Ok, MessageIcon::None);
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            shown << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        });
        services.showMessage("¿ Desea salir del programa ?", MessageButtons::YesNo, MessageIcon::None);
        buttonText(QDialogButtonBox::Cancel, false);
        services.askText("Introduzca el directorio a crear:", "Directorio");
        whenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            shown << dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->text()
                  << dialog->iconProvider()->type(QFileInfo(QDir::tempPath()));
            dialog->reject();
        });
        services.chooseFileToOpen("Ruta Origen de Archivos de Excel, solo Xls como extensión", "Excel|*.xls|");
        QLineEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        shown << menu->actions().constFirst()->text().section('\t', 0, 0);
        QCOMPARE(shown, texts);
    }

    void yieldingRunsPendingEvents()
    {
        QtUiServices services;
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        services.yieldToUser();
        QVERIFY(ran);
    }

    void aProgramThatCannotStartIsReported()
    {
        QtUiServices services;
        QVERIFY(!services.startProgram("/no/such/program", {}, WindowMode::NormalWithoutFocus));
    }
};

QTEST_MAIN(TestQtUiServices)
#include "tst_qtuiservices.moc"
