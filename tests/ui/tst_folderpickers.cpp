#include "support/scripteduiservices.h"
#include "ui/pickers/destinationpickerwindow.h"
#include "ui/pickers/folderpicker.h"
#include "ui/pickers/sourcepickerwindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <unistd.h>

using namespace fotolista;

// Both pickers behave alike except for the create button; most cases run on each.
enum class PickerKind { Source, Destination };
Q_DECLARE_METATYPE(PickerKind)

class TestFolderPickers : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_work;  // the working folder of each test: alpha/, beta/inner/, and a file
    QString m_savedCurrent;
    ScriptedUiServices m_services;

    static QString volumeRoot(const QString& path) { return QDir::cleanPath(QStorageInfo(path).rootPath()); }

    QWidget* makePicker(PickerKind kind)
    {
        QWidget* w = nullptr;
        switch (kind) {
        case PickerKind::Source: w = new SourcePickerWindow; break;
        case PickerKind::Destination: w = new DestinationPickerWindow(m_services); break;
        }
        w->show();
        return w;
    }

    static QListWidget* folders(QWidget* w) { return w->findChild<QListWidget*>("Dir1"); }
    static QComboBox* drives(QWidget* w) { return w->findChild<QComboBox*>("Drive1"); }
    static FolderPicker* picker(QWidget* w) { return w->findChild<FolderPicker*>(); }
    static QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }

    static QStringList entries(QWidget* w)
    {
        QStringList out;
        for (int i = 0; i < folders(w)->count(); ++i)
            out << folders(w)->item(i)->text();
        return out;
    }

    static QListWidgetItem* entry(QWidget* w, const QString& text)
    {
        const QList<QListWidgetItem*> found = folders(w)->findItems(text, Qt::MatchExactly);
        return found.size() == 1 ? found.first() : nullptr;
    }

    static bool doubleClick(QWidget* w, const QString& text)
    {
        QListWidgetItem* item = entry(w, text);
        if (!item)
            return false;
        QListWidget* list = folders(w);
        list->scrollToItem(item);
        // What the platform delivers for a double-click: press, release, double-click, release.
        const QPoint at = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        return true;
    }

    static bool click(QWidget* w, const QString& text)
    {
        QListWidgetItem* item = entry(w, text);
        if (!item)
            return false;
        QListWidget* list = folders(w);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
        return item->isSelected();
    }

    // Steps typed as "open:name" (double-click), "enter:name" (highlight, then
    // Return) and "highlight:name" (one click only).
    static bool perform(QWidget* w, const QString& step)
    {
        const QString verb = step.section(':', 0, 0);
        const QString name = step.section(':', 1);
        if (verb == "open")
            return doubleClick(w, name);
        if (verb == "highlight")
            return click(w, name);
        if (verb == "enter") {
            if (!click(w, name))
                return false;
            QTest::keyClick(folders(w), Qt::Key_Return);
            return true;
        }
        return false;
    }

    static void addKinds(const char* name, const std::function<void(QTestData&)>& rest)
    {
        for (PickerKind kind : {PickerKind::Source, PickerKind::Destination}) {
            QTestData& row = QTest::addRow("%s %s", kind == PickerKind::Source ? "source" : "destination", name)
                             << kind;
            rest(row);
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_savedCurrent = QDir::currentPath();
    }

    void init()
    {
        m_services = {};
        const QString name = QString::fromLatin1(QTest::currentTestFunction()) + "_"
                             + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        m_work = QDir::cleanPath(m_tmp.path() + "/" + name);
        QVERIFY(QDir().mkpath(m_work + "/alpha"));
        QVERIFY(QDir().mkpath(m_work + "/beta/inner"));
        QFile file(m_work + "/photo.jpg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(QDir::setCurrent(m_work));
    }

    void cleanup() { QDir::setCurrent(m_savedCurrent); }

    void selectTakesOpenFolder_data()
    {
        QTest::addColumn<PickerKind>("kind");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");  // relative to the working folder
        QTest::addColumn<QStringList>("shown");
        addKinds("nothing opened", [](QTestData& r) {
            r << QStringList() << "" << QStringList{"..", "alpha", "beta"};
        });
        addKinds("one level", [](QTestData& r) { r << QStringList{"open:alpha"} << "alpha" << QStringList{".."}; });
        addKinds("two levels", [](QTestData& r) {
            r << QStringList{"open:beta", "open:inner"} << "beta/inner" << QStringList{".."};
        });
        addKinds("down and up again", [](QTestData& r) {
            r << QStringList{"open:beta", "open:.."} << "" << QStringList{"..", "alpha", "beta"};
        });
        addKinds("highlighted only", [](QTestData& r) {
            r << QStringList{"highlight:alpha"} << "" << QStringList{"..", "alpha", "beta"};
        });
        addKinds("opened then sibling highlighted", [](QTestData& r) {
            r << QStringList{"open:beta", "highlight:inner"} << "beta" << QStringList{"..", "inner"};
        });
        addKinds("return key", [](QTestData& r) {
            r << QStringList{"enter:beta"} << "beta" << QStringList{"..", "inner"};
        });
    }

    void selectTakesOpenFolder()
    {
        QFETCH(PickerKind, kind);
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        QFETCH(QStringList, shown);
        QPointer<QWidget> w = makePicker(kind);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QSignalSpy chosen(w.data(), SIGNAL(folderChosen(QString)));
        for (const QString& step : steps)
            QVERIFY2(perform(w, step), qPrintable(step));
        // Sub-folders only, the way up first; the file is no entry.
        QCOMPARE(entries(w), shown);
        // It starts at the working folder; the path and its volume show what is open.
        const QString path = expected.isEmpty() ? m_work : m_work + "/" + expected;
        QCOMPARE(w->findChild<QLabel*>("openFolderLabel")->toolTip(), path);
        QCOMPARE(drives(w)->currentData().toString(), volumeRoot(path));
        QVERIFY(drives(w)->findData("/") >= 0);

        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toString(), path);
        QVERIFY(!w->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(w, "the select button hides, it does not destroy");
        delete w;
    }

    void reopeningShowsSameFolder_data()
    {
        QTest::addColumn<PickerKind>("kind");
        addKinds("", [](QTestData&) {});
    }

    void reopeningShowsSameFolder()
    {
        QFETCH(PickerKind, kind);
        std::unique_ptr<QWidget> w(makePicker(kind));
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QSignalSpy chosen(w.get(), SIGNAL(folderChosen(QString)));
        QVERIFY(doubleClick(w.get(), "beta"));
        QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
        QVERIFY(!w->isVisible());

        w->show();
        QCOMPARE(entries(w.get()), QStringList({"..", "inner"}));
        QCOMPARE(w->findChild<QLabel*>("openFolderLabel")->toolTip(), m_work + "/beta");
        QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.at(1).first().toString(), m_work + "/beta");
    }

    void rootHasNoWayUp()
    {
        std::unique_ptr<QWidget> w(makePicker(PickerKind::Source));
        QSignalSpy chosen(w.get(), SIGNAL(folderChosen(QString)));
        QVERIFY(picker(w.get())->openFolderPath(m_work + "/beta/../.."));
        QCOMPARE(picker(w.get())->openFolder(), QDir::cleanPath(m_tmp.path()));

        QVERIFY(picker(w.get())->openFolderPath("/"));
        QVERIFY(!entries(w.get()).contains(".."));
        QVERIFY(!entries(w.get()).isEmpty());
        QCOMPARE(drives(w.get())->currentData().toString(), volumeRoot("/"));
        QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(chosen.first().first().toString(), "/");
    }

    void unreadableFolderIsNotOpened()
    {
        std::unique_ptr<QWidget> w(makePicker(PickerKind::Source));
        QVERIFY(!picker(w.get())->openFolderPath(m_work + "/gone"));
        QVERIFY(!picker(w.get())->openFolderPath(m_work + "/photo.jpg"));
        QCOMPARE(picker(w.get())->openFolder(), m_work);
        QCOMPARE(entries(w.get()), QStringList({"..", "alpha", "beta"}));
    }

    void createFolder_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("afterwards");  // sub-folders of beta, the folder open before
        QTest::addColumn<QString>("opened");  // the sub-folder of beta open afterwards, if any
        QTest::newRow("empty answer") << "" << QStringList{"inner"} << "";
        QTest::newRow("new name") << "nuevo" << QStringList{"inner", "nuevo"} << "nuevo";
        QTest::newRow("blanks kept") << " con blancos " << QStringList{" con blancos ", "inner"} << " con blancos ";
        QTest::newRow("a slash after the name") << "nuevo/" << QStringList{"inner", "nuevo"} << "nuevo";
        QTest::newRow("existing name") << "inner" << QStringList{"inner"} << "";
        QTest::newRow("intermediate missing") << "falta/hija" << QStringList{"inner"} << "";
        QTest::newRow("way up is there") << ".." << QStringList{"inner"} << "";
    }

    void createFolder()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, afterwards);
        QFETCH(QString, opened);
        QFile marker(m_work + "/beta/inner/keep.txt");
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();

        std::unique_ptr<QWidget> w(makePicker(PickerKind::Destination));
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QSignalSpy chosen(w.get(), SIGNAL(folderChosen(QString)));
        QVERIFY(doubleClick(w.get(), "beta"));
        m_services.textAnswers << answer;

        QTest::mouseClick(button(w.get(), "Command2"), Qt::LeftButton);

        const auto prompts = m_services.callsOf(ScriptedUiServices::Kind::Prompt);
        QCOMPARE(prompts.size(), 1);
        QCOMPARE(prompts.first().text, "Introduzca el directorio a crear:");
        QCOMPARE(prompts.first().title, "Directorio");
        QCOMPARE(m_services.calls.size(), 1);  // no message of any kind
        QCOMPARE(QDir(m_work + "/beta").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), afterwards);
        QVERIFY(QFile::exists(m_work + "/beta/inner/keep.txt"));
        QVERIFY(!QFileInfo::exists(m_work + "/falta"));
        // A new folder is the open one, shown as any opened folder is; a failure
        // leaves beta open. Nothing is chosen until the select button.
        const QString open = opened.isEmpty() ? m_work + "/beta" : m_work + "/beta/" + opened;
        QCOMPARE(picker(w.get())->openFolder(), open);
        QCOMPARE(w->findChild<QLabel*>("openFolderLabel")->toolTip(), open);
        QCOMPARE(entries(w.get()), QStringList{".."} + (opened.isEmpty() ? afterwards : QStringList()));
        QCOMPARE(chosen.size(), 0);
        QVERIFY(w->isVisible());
        QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toString(), open);
    }

    void driveChangeOpensVolumeRoot()
    {
        std::unique_ptr<QWidget> w(makePicker(PickerKind::Source));
        QComboBox* list = drives(w.get());
        // A readable folder standing in for another volume's root.
        list->addItem("otra unidad", m_work + "/beta");
        list->setCurrentIndex(list->count() - 1);
        QCOMPARE(picker(w.get())->openFolder(), m_work + "/beta");
        QCOMPARE(entries(w.get()), QStringList({"..", "inner"}));
        // The list then names the volume the open folder really is on.
        QCOMPARE(list->currentData().toString(), volumeRoot(m_work));

        QVERIFY(picker(w.get())->changeDrive("/"));
        QCOMPARE(picker(w.get())->openFolder(), "/");
        QVERIFY(!entries(w.get()).contains(".."));
        QCOMPARE(list->currentData().toString(), "/");
    }

    void unreadableDriveGoesBack_data()
    {
        QTest::addColumn<QString>("root");  // relative to the working folder
        QTest::addColumn<bool>("needsRights");
        QTest::newRow("no medium") << "gone" << false;
        QTest::newRow("not a folder") << "photo.jpg" << false;
        QTest::newRow("no rights") << "locked" << true;
    }

    void unreadableDriveGoesBack()
    {
        QFETCH(QString, root);
        QFETCH(bool, needsRights);
        const QString rootPath = m_work + "/" + root;
        if (needsRights) {
            if (::geteuid() == 0)
                QSKIP("rights are not enforced for root");
            QVERIFY(QDir().mkdir(rootPath));
            QVERIFY(QFile::setPermissions(rootPath, QFileDevice::Permissions()));
        }

        std::unique_ptr<QWidget> w(makePicker(PickerKind::Source));
        QVERIFY(doubleClick(w.get(), "beta"));
        QComboBox* list = drives(w.get());
        const int before = list->currentIndex();
        list->addItem("sin medio", rootPath);

        list->setCurrentIndex(list->count() - 1);
        QCOMPARE(list->currentIndex(), before);
        QCOMPARE(picker(w.get())->openFolder(), m_work + "/beta");
        QCOMPARE(entries(w.get()), QStringList({"..", "inner"}));

        // The same through the method the drive list calls.
        QVERIFY(!picker(w.get())->changeDrive(rootPath));
        QCOMPARE(list->currentIndex(), before);
        QCOMPARE(m_services.calls.size(), 0);
        if (needsRights)
            QFile::setPermissions(rootPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

QTEST_MAIN(TestFolderPickers)
#include "tst_folderpickers.moc"
