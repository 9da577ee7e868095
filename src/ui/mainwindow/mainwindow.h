#pragma once

#include "core/job/recentjobs.h"
#include "core/run/rundriver.h"
#include "core/run/runview.h"
#include "core/settings/jobsettings.h"
#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"
#include "core/sysinfo/registry.h"
#include "core/watermark/placement.h"
#include "core/workbook/open/workbookfilereader.h"
#include "ui/check/checkandreport.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>
#include <vector>

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QTimer;
namespace Ui {
class Form1;
}

namespace fotolista {

class AboutWindow;
class DestinationPickerWindow;
class HelpWindow;
class PlacementWindow;
class WatermarkFolderWindow;
class BrandMakerWindow;
class SourcePickerWindow;
class SummaryWindow;
class TonePlayer;
class UiServices;

/// The program's main window: it shows and edits the job settings, opens the
/// other windows, and is the view of the batch run, which runs on this
/// thread and lets the window in at its yield points.
class MainWindow : public QMainWindow, private RunView, private PlacementSource {
    Q_OBJECT

public:
    /// `programFolder` holds numeros/, the default watermark folder.
    MainWindow(UiServices& services, TonePlayer& tones, const QString& programFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    JobSettings& settings() { return m_settings; }

    /// The "PROCESAR" button. During a run the click is remembered and the
    /// next run starts when this one has ended. For a double-click's time
    /// after "cancelar" brought the button back, a click is ignored.
    void startRun();
    /// The one-second tick of the clock.
    void tick();
    /// Opens a job file and sets every control from it, as the user would
    /// have; a job that cannot be used is refused with a message and
    /// changes nothing. False when refused.
    bool openJob(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildFormatMenu(QMenu* format);
    void buildQualityMenu(QMenu* quality);
    void buildDimensionsMenu(QMenu* dimensions);
    void buildOptionsMenu(QMenu* options);
    /// A checked item that shows and switches one setting of the job.
    QAction* settingItem(QMenu* menu, const char* name, const QString& text, bool (JobSettings::*get)() const,
                         void (JobSettings::*set)(bool));
    void connectControls();
    void refreshFromSettings();

    void chooseWorkbook();
    /// What choosing a workbook does before its dialog opens.
    void prepareWorkbookChoice();
    void useWorkbook(const QString& path);
    void useSourceFolder(const QString& path);
    void useDestinationFolder(const QString& path);

    // Job files (mainwindowjobs.cpp).
    void addJobItems(QMenu* options);
    void saveJob();
    void chooseJobToOpen();
    void openRecentJob(const QString& path);
    void refreshRecentJobs();
    /// The controls a job changes besides those refreshFromSettings() keeps.
    void showJobControls(const std::optional<WatermarkPlacement>& placement);
    /// A file or folder dropped on `target`.
    void dropped(const QString& path, const QWidget* target);
    void viewDestination();
    void cancelRun();
    void revealCellFields();
    /// "Marca de agua predeterminada": on with the default folder, or off.
    void toggleDefaultWatermark();
    void openSourcePicker();
    void openDestinationPicker();
    void openSummary();
    void openWatermarkFolderWindow();
    void openBrandMaker();
    void openPlacementWindow();
    PlacementWindow* ensurePlacementWindow();
    void openAbout();
    void openHelp();
    void confirmExit();
    /// Ends the program: every other window closes, then this one. During a
    /// run the row in progress is finished first.
    void endProgram();
    void closeOtherWindows();
    SummaryWindow* ensureSummary();

    // RunView
    void resetSummary() override;
    SummaryTree& summaryTree() override;
    void setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas) override;
    void setStatusText(const QString& text) override;
    void setStatusVisible(bool visible) override;
    void setBatchText(const QString& text) override;
    void setBatchVisible(bool visible) override;
    void setPlacementButtonVisible(bool visible) override;
    void withdrawWatermarkMark() override;
    void setProcessButtonVisible(bool visible) override;
    void setCancelButtonVisible(bool visible) override;
    void setSummaryButtonVisible(bool visible) override;
    void showMainWindow() override;
    void setProgress(qint64 step, qint64 total) override;
    void restartClock() override;
    void stopClock() override;
    void playCompletionTones() override;
    void rowHandled(const RowReport& report) override;
    void dataLeftAfterStop(qint64 stopRow, qint64 rowsLeft) override;

    // PlacementSource: the placement window's values, from a window made
    // (hidden, with its start values) when there is none.
    WatermarkPlacement placement() override;

    std::unique_ptr<Ui::Form1> m_ui;
    UiServices& m_services;
    TonePlayer& m_tones;
    JobSettings m_settings;
    RunTotals m_totals;
    RunControl m_control;
    WorkbookFileReader m_reader;
    RunDriver m_driver;
    QTimer* m_clock = nullptr;

    QPointer<SummaryWindow> m_summary;
    QPointer<SourcePickerWindow> m_sourcePicker;
    QPointer<DestinationPickerWindow> m_destinationPicker;
    QPointer<WatermarkFolderWindow> m_watermarkFolderWindow;
    QPointer<BrandMakerWindow> m_brandMaker;
    QPointer<PlacementWindow> m_placementWindow;
    QPointer<AboutWindow> m_aboutWindow;
    QPointer<HelpWindow> m_helpWindow;
    // The system's own (none on Linux), for the About window's tool search.
    std::unique_ptr<Registry> m_registry = systemRegistry();
    CheckAndReport m_checkAndReport;

    QAction* m_formatJpg = nullptr;
    QAction* m_formatTiff = nullptr;
    QAction* m_formatAny = nullptr;
    static constexpr std::array<JpegQuality, 4> kQualities = {JpegQuality::High, JpegQuality::Medium, JpegQuality::Low,
                                                              JpegQuality::VeryLow};
    std::array<QAction*, 4> m_qualityItems{};
    QAction* m_defaultWatermark = nullptr;
    // The items that each show one setting, and what they read.
    std::vector<std::pair<QAction*, bool (JobSettings::*)() const>> m_settingItems;
    QMenu* m_recentJobsMenu = nullptr;
    RecentJobs m_recentJobs;

    QElapsedTimer m_sinceCancel;
    bool m_startAfterRun = false;
    bool m_endAfterRun = false;
};

}  // namespace fotolista
