#include "core/base/filefilter.h"

#include <QTest>

using namespace fotolista;

class TestFileFilter : public QObject {
    Q_OBJECT

private slots:
    void pairs_data()
    {
        QTest::addColumn<QString>("pairs");
        QTest::addColumn<QStringList>("filters");
        QTest::newRow("workbook dialog") << "Archivos para emparejar(*.XLS)|*.xls|"
                                         << QStringList{"Archivos para emparejar(*.XLS) (*.xls)"};
        QTest::newRow("workbook dialog, every format")
            << "Libros de cálculo|*.xls;*.xlsx;*.xlsm;*.ods;*.csv;*.txt|Archivos para emparejar(*.XLS)|*.xls|"
            << QStringList{"Libros de cálculo (*.xls *.xlsx *.xlsm *.ods *.csv *.txt)",
                           "Archivos para emparejar(*.XLS) (*.xls)"};
        QTest::newRow("two entries") << "Excel|*.xls|Todos|*.*|" << QStringList{"Excel (*.xls)", "Todos (*.*)"};
        QTest::newRow("several patterns") << "Imágenes|*.jpg;*.tif|" << QStringList{"Imágenes (*.jpg *.tif)"};
        QTest::newRow("no trailing bar") << "Excel|*.xls" << QStringList{"Excel (*.xls)"};
        QTest::newRow("name without pattern") << "Excel|*.xls|Sobra|" << QStringList{"Excel (*.xls)"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void pairs()
    {
        QFETCH(QString, pairs);
        QFETCH(QStringList, filters);
        QCOMPARE(toQtNameFilters(pairs), filters);
    }
};

QTEST_GUILESS_MAIN(TestFileFilter)
#include "tst_filefilter.moc"
