#include "ui/about/helpwindow.h"

#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QTest>

#include <algorithm>

class TestHelpWindow : public QObject {
    Q_OBJECT

private slots:
    void theWindow()
    {
        HelpWindow w;
        QCOMPARE(w.objectName(), "Form3");
        QCOMPARE(w.windowTitle(), "Ayuda del Ejemplo de API implementado.");
        QVERIFY(w.isWindow());
    }

    void sixLabelsTopToBottom()
    {
        const QStringList names{"Label1", "Label2", "Label3", "Label5", "Label6", "Label4"};
        const QStringList texts{
            "El proyecto muestra como usar 2 APIs",
            "La primera de ellas permite comunicarse con EXCEL, mediante las funciones de la API de Visual Basic para "
            "Aplicaciones.",
            "La segunda API permite trabajar con imágenes. Su nombre es freeimage360.dll y es de uso público. Esta "
            "constituida por un conjunto de funciones de manipulacion de formatos gráficos. La DLL no requiere "
            "registro.",
            "Para usar el programa es necesario especificar un directorio origen (donde se encuentra una imagen) y un "
            "directorio destino, donde se depositará la imagen reducida y con la marca de agua si se establece así.",
            "El fichero Excel permite establecer una correlación entre el nombre de la imagen origen y el nombre de la "
            "imagen destino. Las coordenadas muestran la posicion donde se empieza a cotejar los datos, es decir donde "
            "se encuentra el nombre de la imagen origen y el destino. Admite un salto(numero de filas) para realizar "
            "procesos en lote de un conjunto de imágenes existentes. Posee estadisticas del proceso por lotes.",
            "Para más información existe un fichero de ayuda y explicación  .doc ó pdf del proyecto.",
        };

        HelpWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Labels and nothing else: no buttons, no other controls.
        QList<QWidget*> controls = w.findChildren<QWidget*>();
        QCOMPARE(controls.size(), 6);
        std::sort(controls.begin(), controls.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        for (int i = 0; i < controls.size(); ++i) {
            auto* label = qobject_cast<QLabel*>(controls[i]);
            QVERIFY(label);
            QCOMPARE(label->objectName(), names[i]);
            QCOMPARE(label->text(), texts[i]);
            QVERIFY(label->wordWrap());
            QVERIFY2(w.rect().contains(QRect(label->pos(), label->size())), qPrintable(names[i]));
        }
    }

};

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
