#include "ui/about/helpwindow.h"

#include <QLabel>
#include <QTest>

using namespace fotolista;

class TestHelpWindow : public QObject {
    Q_OBJECT

private slots:
    // The window is a fixed text: with this platform's fonts every paragraph
    // must still wrap and show whole, and nothing else may take the user's input.
    void everyParagraphShowsWhole()
    {
        HelpWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QList<QWidget*> controls = w.findChildren<QWidget*>();
        QCOMPARE(controls.size(), 6);
        for (QWidget* c : controls) {
            auto* label = qobject_cast<QLabel*>(c);
            QVERIFY2(label, qPrintable(c->objectName()));
            QVERIFY(!label->text().isEmpty());
            QVERIFY(label->wordWrap());
            QVERIFY2(w.rect().contains(QRect(label->pos(), label->size())), qPrintable(label->objectName()));
            QVERIFY(label->height() >= label->heightForWidth(label->width()));
        }
    }
};

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
