#include "core/base/shownpaths.h"
#include "core/sysinfo/registry.h"
#include "core/sysinfo/sysinfolauncher.h"
#include "support/scripteduiservices.h"

#include <QHash>
#include <QTest>

#include <optional>

using namespace fotolista;

namespace {

/// A registry held in memory: keys by root and path, each value with its
/// type, its bytes and the length a read reports. Records what it is asked.
class FakeRegistry final : public Registry {
public:
    struct Value {
        quint32 type = kRegistryString;
        QByteArray bytes;
        qint64 length = -1;  ///< reported length; -1 reports the size of `bytes`
        bool readFails = false;
    };

    void set(const QString& keyPath, const QString& name, Value value) { m_keys[keyPath][name] = std::move(value); }
    /// A key that exists but cannot be opened with full rights.
    void lock(const QString& keyPath) { m_locked << keyPath; }

    std::optional<Handle> open(RegistryRoot root, const QString& keyPath) override
    {
        opened << keyPath;
        if (root != RegistryRoot::LocalMachine || !m_keys.contains(keyPath) || m_locked.contains(keyPath))
            return std::nullopt;
        m_handles[++m_next] = keyPath;
        return m_next;
    }

    RegistryValue queryValue(Handle key, const QString& name, qint64 capacity) override
    {
        capacities << capacity;
        const auto& values = m_keys.value(m_handles.value(key));
        if (!m_handles.contains(key) || !values.contains(name))
            return {};
        const Value& v = values.value(name);
        if (v.readFails || v.bytes.size() > capacity)
            return {};
        return {true, v.type, v.bytes, v.length < 0 ? v.bytes.size() : v.length};
    }

    void close(Handle key) override
    {
        if (m_handles.remove(key) == 0)
            ++badCloses;
    }

    int openHandles() const { return int(m_handles.size()); }

    QStringList opened;
    QList<qint64> capacities;
    int badCloses = 0;

private:
    QHash<QString, QHash<QString, Value>> m_keys;
    QStringList m_locked;
    QHash<Handle, QString> m_handles;
    Handle m_next = 0;
};

const QString kKey = QStringLiteral("SOFTWARE\\Fotolista\\Test");
const QString kMsinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");

QByteArray dword(quint32 n)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((n >> (8 * i)) & 0xFF));
    return b;
}

QByteArray withZero(const char* text)
{
    return QByteArray(text) + '\0';
}

}  // namespace

Q_DECLARE_METATYPE(FakeRegistry::Value)

class TestRegistry : public QObject {
    Q_OBJECT

private slots:
    void readsAValueByItsType_data()
    {
        QTest::addColumn<FakeRegistry::Value>("stored");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");

        using V = FakeRegistry::Value;
        QTest::newRow("text with its terminator") << V{1, withZero("C:\\Archivos\\msinfo32.exe"), -1} << "old"
                                                  << "C:\\Archivos\\msinfo32.exe";
        QTest::newRow("text without terminator") << V{1, "abc", -1} << ""
                                                 << "abc";
        QTest::newRow("text: only one zero goes")
            << V{1, QByteArray("ab\0\0", 4), -1} << "" << QString("ab") + QChar(0);
        QTest::newRow("text cut at the reported length") << V{1, "abcdef", 3} << ""
                                                         << "abc";
        QTest::newRow("text reported longer than written")
            << V{1, "ab", 5} << "" << QString("ab") + QChar(0) + QChar(0);
        QTest::newRow("empty text") << V{1, QByteArray(1, '\0'), -1} << "old"
                                    << "";
        QTest::newRow("text in the upper half of the byte range")
            << V{1, QStringLiteral("imágenes").toLatin1(), -1} << ""
            << "imágenes";
        // A number's bytes are read last first, each in hex without a leading
        // zero, then the hex text is shown in decimal.
        QTest::newRow("dword all four bytes") << V{4, dword(0x12345678), -1} << ""
                                              << "305419896";
        QTest::newRow("dword loses its top zero byte") << V{4, dword(0x00ABCDEF), -1} << ""
                                                       << "11259375";
        QTest::newRow("dword digits run together") << V{4, dword(0x0105), -1} << ""
                                                   << "21";
        QTest::newRow("dword zero") << V{4, dword(0), -1} << ""
                                    << "0";
        QTest::newRow("dword appends to the text it came with") << V{4, dword(0x0A), -1} << "1"
                                                                << "4106";
        QTest::newRow("dword after a text that is no hex") << V{4, dword(0x0A), -1} << "x"
                                                           << "&hx00A";
        QTest::newRow("dword of one zero byte") << V{4, QByteArray(1, '\0'), -1} << ""
                                                << "&h";
        QTest::newRow("binary leaves the text") << V{3, "\x01\x02", -1} << "kept"
                                                << "kept";
        QTest::newRow("expandable text leaves the text") << V{2, withZero("%PATH%"), -1} << "kept"
                                                         << "kept";
        QTest::newRow("multi-text leaves the text") << V{7, "a", -1} << "kept"
                                                    << "kept";
    }

    void readsAValueByItsType()
    {
        QFETCH(FakeRegistry::Value, stored);
        QFETCH(QString, before);
        QFETCH(QString, after);

        FakeRegistry registry;
        registry.set(kKey, "Valor", stored);
        QString value = before;
        QVERIFY(getKeyValue(registry, RegistryRoot::LocalMachine, kKey, "Valor", value));
        QCOMPARE(value, after);
        QCOMPARE(registry.capacities, QList<qint64>{1024});
        QCOMPARE(registry.openHandles(), 0);
        QCOMPARE(registry.badCloses, 0);
    }

    void aFailedReadEmptiesTheValue_data()
    {
        QTest::addColumn<QString>("keyPath");
        QTest::addColumn<QString>("valueName");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("readFails");

        QTest::newRow("no such key") << "SOFTWARE\\Nada"
                                     << "Valor" << false << false;
        QTest::newRow("key without full rights") << kKey << "Valor" << true << false;
        QTest::newRow("no such value") << kKey << "Otro" << false << false;
        QTest::newRow("the read fails") << kKey << "Valor" << false << true;
    }

    void aFailedReadEmptiesTheValue()
    {
        QFETCH(QString, keyPath);
        QFETCH(QString, valueName);
        QFETCH(bool, locked);
        QFETCH(bool, readFails);

        FakeRegistry registry;
        registry.set(kKey, "Valor", {kRegistryString, "texto", -1, readFails});
        if (locked)
            registry.lock(kKey);
        QString value = "as it came";
        QVERIFY(!getKeyValue(registry, RegistryRoot::LocalMachine, keyPath, valueName, value));
        QVERIFY(value.isEmpty());
        // A key that was opened is closed again, once.
        QCOMPARE(registry.openHandles(), 0);
        QCOMPARE(registry.badCloses, 0);
    }

    void theEmptyRegistryHoldsNothing()
    {
        EmptyRegistry registry;
        QString value = "x";
        QVERIFY(!getKeyValue(registry, RegistryRoot::LocalMachine, kMsinfoKey, "PATH", value));
        QVERIFY(value.isEmpty());
        QCOMPARE(startSysInfoPlan(registry, [](const QString&) { return true; }), std::nullopt);
    }

    void windowsAsksOnlyTheRegistry_data()
    {
        QTest::addColumn<QString>("pathValue");  // "" for no "PATH" value
        QTest::addColumn<QString>("msinfoFolder");  // "" for no "MSINFO" value
        QTest::addColumn<QString>("started");  // "" for none, and then the message

        QTest::newRow("nothing registered, a tool on PATH") << ""
                                                            << ""
                                                            << "";
        QTest::newRow("registry PATH") << "C:\\msinfo32.exe"
                                       << ""
                                       << "C:\\msinfo32.exe";
        QTest::newRow("MSINFO folder joined with a backslash") << ""
                                                               << "C:\\herramientas"
                                                               << "C:\\herramientas\\MSINFO32.EXE";
    }

    void windowsAsksOnlyTheRegistry()
    {
        QFETCH(QString, pathValue);
        QFETCH(QString, msinfoFolder);
        QFETCH(QString, started);

        FakeRegistry registry;
        if (!pathValue.isEmpty())
            registry.set(kMsinfoKey, "PATH", {kRegistryString, pathValue.toLatin1(), -1});
        if (!msinfoFolder.isEmpty())
            registry.set(kLocationKey, "MSINFO", {kRegistryString, msinfoFolder.toLatin1(), -1});
        // Either separator finds the file; only the plan's join is checked.
        const auto exists = [](const QString& path) {
            return path == "C:\\herramientas\\MSINFO32.EXE" || path == shownPath("C:\\herramientas/MSINFO32.EXE");
        };
        QCOMPARE(startSysInfoPlan(registry, exists, u'\\').value_or("none"), started.isEmpty() ? "none" : started);

        // As on Windows, no programs to search on PATH: one there is never started.
        const SysInfoEnvironment environment{exists, [](const QString& name) { return "/usr/bin/" + name; }, {}};
        ScriptedUiServices ui;
        QCOMPARE(startSysInfo(ui, registry, environment), !started.isEmpty());
        for (const auto& call : ui.callsOf(ScriptedUiServices::Kind::Program))
            QVERIFY(!call.text.startsWith("/usr/bin/"));
        QCOMPARE(ui.messageTexts().size(), started.isEmpty() ? 1 : 0);
    }

    void startingTheTool_data()
    {
        QTest::addColumn<QString>("pathValue");  // "" for no "PATH" value, "-" for one of another type
        QTest::addColumn<QString>("msinfoFolder");  // "" for no "MSINFO" value
        QTest::addColumn<QStringList>("onPath");  // programs found on PATH
        QTest::addColumn<bool>("startWorks");
        QTest::addColumn<QString>("started");  // program asked for, "" for none
        QTest::addColumn<bool>("message");

        QTest::newRow("nothing anywhere") << ""
                                          << "" << QStringList{} << true << "" << true;
        QTest::newRow("registry PATH") << "C:\\msinfo32.exe"
                                       << "" << QStringList{"hardinfo"} << true << "C:\\msinfo32.exe" << false;
        QTest::newRow("registry PATH names a missing file")
            << "C:\\falta.exe"
            << "" << QStringList{"hardinfo"} << false << "C:\\falta.exe" << true;
        QTest::newRow("registry PATH of another type") << "-"
                                                       << "" << QStringList{"hardinfo"} << true << "" << true;
        QTest::newRow("MSINFO without MSINFO32.EXE") << ""
                                                     << "C:\\vacia" << QStringList{} << true << "" << true;
        QTest::newRow("MSINFO with MSINFO32.EXE")
            << ""
            << "C:\\herramientas" << QStringList{} << true << shownPath("C:\\herramientas/MSINFO32.EXE") << false;
        QTest::newRow("first program on PATH") << ""
                                               << "" << QStringList{"gnome-system-monitor", "kinfocenter", "hardinfo2"}
                                               << true << "/usr/bin/hardinfo2" << false;
        QTest::newRow("hardinfo before the rest")
            << ""
            << "" << QStringList{"hardinfo2", "hardinfo"} << true << "/usr/bin/hardinfo" << false;
        QTest::newRow("last program on PATH")
            << ""
            << "" << QStringList{"gnome-system-monitor"} << true << "/usr/bin/gnome-system-monitor" << false;
        QTest::newRow("program on PATH fails to start")
            << ""
            << "" << QStringList{"kinfocenter"} << false << "/usr/bin/kinfocenter" << true;
    }

    void startingTheTool()
    {
        QFETCH(QString, pathValue);
        QFETCH(QString, msinfoFolder);
        QFETCH(QStringList, onPath);
        QFETCH(bool, startWorks);
        QFETCH(QString, started);
        QFETCH(bool, message);

        FakeRegistry registry;
        if (pathValue == "-")
            registry.set(kMsinfoKey, "PATH", {11, dword(7) + dword(0), -1});  // a 64-bit number
        else if (!pathValue.isEmpty())
            registry.set(kMsinfoKey, "PATH", {kRegistryString, pathValue.toLatin1(), -1});
        if (!msinfoFolder.isEmpty())
            registry.set(kLocationKey, "MSINFO", {kRegistryString, msinfoFolder.toLatin1(), -1});

        SysInfoEnvironment environment;
        environment.fileExists = [](const QString& path) { return path == shownPath("C:\\herramientas/MSINFO32.EXE"); };
        environment.findProgram = [&](const QString& name) {
            return onPath.contains(name) ? "/usr/bin/" + name : QString();
        };
        environment.programsOnPath = linuxSysInfoPrograms();

        ScriptedUiServices ui;
        ui.startAnswers << startWorks;
        QCOMPARE(startSysInfo(ui, registry, environment), !message);
        // The tool's own key first, then the folder key, unless the first answered.
        QCOMPARE(registry.opened.first(), kMsinfoKey);
        QCOMPARE(registry.opened.size(), pathValue.isEmpty() ? 2 : 1);
        QCOMPARE(registry.openHandles(), 0);

        const auto programs = ui.callsOf(ScriptedUiServices::Kind::Program);
        if (started.isEmpty()) {
            QVERIFY(programs.isEmpty());
        } else {
            QCOMPARE(programs.size(), 1);
            QCOMPARE(programs.first().text, started);
            QVERIFY(programs.first().arguments.isEmpty());
            QCOMPARE(programs.first().mode, WindowMode::NormalWithFocus);
        }
        const auto boxes = ui.callsOf(ScriptedUiServices::Kind::Message);
        QCOMPARE(boxes.size(), message ? 1 : 0);
        if (message) {
            QCOMPARE(boxes.first().text, "La información del sistema no está disponible en este momento");
            QCOMPARE(boxes.first().title, "Fotolista");
            QCOMPARE(boxes.first().buttons, MessageButtons::Ok);
            // The message comes last, after any attempt to start.
            QCOMPARE(ui.calls.last().kind, ScriptedUiServices::Kind::Message);
        }
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
