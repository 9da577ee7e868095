#include "core/job/jobfile.h"
#include "core/job/recentjobs.h"
#include "core/settings/jobsettings.h"
#include "support/imagefixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace fotolista;

namespace {

/// Settings far from the start state in every field.
void setEverything(JobSettings& s, const QString& folder)
{
    s.setWorkbookPath(folder + "/semana.xlsx");
    s.restoreRunDefaults();
    s.setSourceFolder(folder + "/fotos de la semana");
    s.setDestinationFolder(folder + "/web");
    s.setOriginColumn("B");
    s.setOriginRow("2");
    s.setDestinationColumn("a");
    s.setDestinationRow("3");
    s.setRowStep("1");
    s.chooseAnySource();
    s.chooseQuality(JpegQuality::VeryLow);
    s.setLargeWidth(800);
    s.setSmallWidth(-5);
    s.useWatermarkFolder(folder + "/marca = tienda");
    s.setWatermarkHeight(30);
    s.setWatermarkInteriorOnly(true);
    s.setWatermarkTransparency(200);
    s.setWatermarkManualPlacement(true);
    s.setFitMark(true);
    s.setFastRead(true);
    s.setAutorotate(false);
    s.setOnlyChanged(true);
    s.setSkipBlankRows(true);
    s.setOptimizeJpeg(false);
    s.setWriteWebp(true);
    s.setWriteAvif(true);
}

QByteArray job(const QByteArray& lines)
{
    return "fotolista-trabajo=1\n" + lines;
}

}  // namespace

class TestJobFile : public QObject {
    Q_OBJECT

private slots:
    // Every setting and the hand placement come back from the file as they were.
    void everySettingRoundTrips()
    {
        JobSettings s("/programa/numeros");
        setEverything(s, "/tienda");
        const WatermarkPlacement placed{false, 20, 30, 99};
        const QByteArray bytes = jobBytes(s, placed, nullptr).value();
        const JobLoad load = parseJob(bytes, "/otra");
        QVERIFY2(load.job, qPrintable(load.problem));
        QVERIFY(load.warnings.isEmpty());
        JobSettings back("/programa/numeros");
        const std::optional<WatermarkPlacement> p = applyJob(*load.job, back);
        QCOMPARE(jobBytes(back, p.value(), nullptr).value(), bytes);
        QCOMPARE(p->left, 20);
        QCOMPARE(back.watermarkFolder(), QStringLiteral("/tienda/marca = tienda"));
        // The program's own watermark folder is kept as empty: the job finds
        // it wherever the program is installed.
        JobSettings plain("/programa/numeros");
        QVERIFY(jobBytes(plain, {}, nullptr)->contains("\ncarpeta-marca=\n"));
        JobSettings elsewhere("/otro/numeros");
        applyJob(*parseJob(*jobBytes(plain, {}, nullptr), "/").job, elsewhere);
        QCOMPARE(elsewhere.watermarkFolder(), QStringLiteral("/otro/numeros"));
        // A job saved in the start state (no workbook, no large width yet)
        // reads back to the same start state, not to the default widths.
        JobSettings again("/programa/numeros");
        applyJob(*parseJob(*jobBytes(plain, {}, nullptr), "/").job, again);
        QVERIFY(!again.largeWidth());
        QCOMPARE(jobBytes(again, {}, nullptr), jobBytes(plain, {}, nullptr));
    }

    // Applied as a user would set them: the workbook first, whose choice
    // brings back 409 and 145, so the job's widths stay wherever they stand.
    void theWorkbookComesFirstAndRelativePathsFromTheJobsFolder()
    {
        JobSettings s("/p/numeros");
        const JobLoad load = parseJob(job("anchura-grande=600\nanchura-pequena=100\nlibro=libro.csv\n"
                                          "fuente=../fotos\r\ndestino=\n"),
                                      "/tienda/trabajos");
        QVERIFY2(load.job, qPrintable(load.problem));
        applyJob(*load.job, s);
        QCOMPARE(s.largeWidth().value(), 600);
        QCOMPARE(s.smallWidth(), 100);
        QCOMPARE(s.workbookPath(), QStringLiteral("/tienda/trabajos/libro.csv"));
        QCOMPARE(s.sourceFolder(), QStringLiteral("/tienda/fotos"));
        QVERIFY(!s.isDestinationFolderSet());
    }

    void badJobsAreRefusedWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");  // empty: accepted
        QTest::addColumn<int>("warnings");
        QTest::newRow("an unknown key is only a warning")
            << job("# nota\nclave-nueva=1\ncalidad=alta\n") << QString() << 1;
        QTest::newRow("a line without =") << job("calidad alta\n") << QString() << 1;
        QTest::newRow("not text") << QByteArray("fotolista-trabajo=1\n\0", 21) << "no es un archivo de texto" << 0;
        QTest::newRow("not UTF-8") << job("fuente=/fotos\xff\n") << "no es un archivo de texto" << 0;
        QTest::newRow("no version line") << QByteArray("calidad=alta\n") << "no es un trabajo de Fotolista" << 0;
        QTest::newRow("empty") << QByteArray() << "no es un trabajo de Fotolista" << 0;
        QTest::newRow("a newer version") << QByteArray("fotolista-trabajo=2\n") << "versión más nueva" << 0;
        for (const char* bad : {"calidad=superior", "formato=png", "anchura-grande=40000", "anchura-pequena=+5",
                                "anchura-pequena= 5", "transparencia=300", "altura-marca=alta", "marca=quizá",
                                "colocacion=1,2", "colocacion=200,0,0", "colocacion=centrada", "saltar-vacias=1"}) {
            const QByteArray line(bad);
            QTest::newRow(bad) << job("calidad=baja\n" + line + "\n")
                               << QStringLiteral("línea 3: el valor «%1» de «%2» no es válido")
                                      .arg(QString::fromUtf8(line.mid(line.indexOf('=') + 1)),
                                           QString::fromUtf8(line.left(line.indexOf('='))))
                               << 0;
        }
    }

    void badJobsAreRefusedWhole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QFETCH(int, warnings);
        const JobLoad load = parseJob(bytes, "/");
        QCOMPARE(load.job.has_value(), problem.isEmpty());
        QVERIFY2(load.problem.contains(problem), qPrintable(load.problem));
        QCOMPARE(load.warnings.size(), warnings);
    }

    void filesAndPaths()
    {
        QTemporaryDir dir;
        const QString big = dir.filePath("grande.fotolista");
        QVERIFY(fixtures::writeBytes(big, job(QByteArray(kMaxJobFileBytes, '#'))));
        QVERIFY(readJobFile(big).problem.contains("pasa de 1 MB"));
        QVERIFY(readJobFile(dir.filePath("no-existe.fotolista")).problem.contains("no se puede leer"));
        QVERIFY(readJobFile(dir.path()).problem.contains("no se puede leer"));

        JobSettings s(dir.filePath("numeros"));
        s.setWorkbookPath(dir.filePath("libro.xlsx"));
        QCOMPARE(missingJobPath(s), QStringLiteral("el libro «%1» no existe").arg(dir.filePath("libro.xlsx")));
        fixtures::writeBytes(dir.filePath("libro.xlsx"), "x");
        s.setSourceFolder(dir.filePath("fotos"));
        QVERIFY(missingJobPath(s)->startsWith("la carpeta fuente"));
        s.setSourceFolder(dir.path());
        QVERIFY(missingJobPath(s)->startsWith("la carpeta de la marca de agua"));
        s.disableWatermark();
        QCOMPARE(missingJobPath(s), std::nullopt);

        // A line break cannot be kept in a line of the file.
        s.setOriginColumn("F\nG");
        QString problem;
        QVERIFY(!jobBytes(s, {}, &problem));
        QVERIFY(problem.contains("columna-origen"));
    }

    void aJobIsWrittenWholeAndNeverThroughALink()
    {
        QTemporaryDir dir;
        const QString job = dir.filePath("semana.fotolista");
        QVERIFY(fixtures::writeBytes(dir.filePath("victim"), "not ours"));
        QVERIFY(QFile::link(dir.filePath("victim"), job));
        QString problem;
        QVERIFY(writeJobFile(job, "fotolista-trabajo = 1\n", &problem));
        QVERIFY(!QFileInfo(job).isSymLink());
        QCOMPARE(fixtures::readBytes(job), QByteArray("fotolista-trabajo = 1\n"));
        QCOMPARE(fixtures::readBytes(dir.filePath("victim")), QByteArray("not ours"));
        QVERIFY(!writeJobFile(dir.filePath("no-existe/semana.fotolista"), "x", &problem));
        QVERIFY(!problem.isEmpty());
    }

    void theRecentJobs()
    {
        QTemporaryDir dir;
        RecentJobs recent(dir.filePath("config/trabajos-recientes"));
        QCOMPARE(recent.paths(), QStringList());
        for (int i = 1; i <= 7; ++i)
            recent.add(QStringLiteral("/t/%1.fotolista").arg(i));
        recent.add("/t/5.fotolista");
        QCOMPARE(recent.paths(), (QStringList{"/t/5.fotolista", "/t/7.fotolista", "/t/6.fotolista", "/t/4.fotolista",
                                              "/t/3.fotolista"}));
        recent.remove("/t/7.fotolista");
        QCOMPARE(RecentJobs(dir.filePath("config/trabajos-recientes")).paths().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestJobFile)
#include "tst_jobfile.moc"
