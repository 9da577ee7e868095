#pragma once

#include "core/summary/runtotals.h"
#include "core/summary/summarytree.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

class QTreeWidgetItem;
namespace Ui {
class frmOptions;
}

namespace fotolista {

class UiServices;

/// The operations summary: the tree and the row counters of the last run,
/// the kilobyte totals, and a button that opens the error log. The window
/// owns the run's SummaryTree and follows it live, so a run in progress shows
/// its rows as they are added. "Aceptar" hides it; the close box destroys it.
class SummaryWindow : public QWidget, private SummaryListener {
    Q_OBJECT

public:
    /// Centred on the screen; the kilobyte labels get `totals` as bare numbers.
    /// `services` opens the error log; it must outlive the window.
    SummaryWindow(UiServices& services, const RunTotals& totals, QWidget* parent = nullptr);
    ~SummaryWindow() override;

    /// What the run writes into: roots, rows, details and counters.
    SummaryTree& tree() { return m_tree; }

    /// The opening command: the kilobyte totals with " kb", then the window shown modeless.
    void showWithTotals(const RunTotals& totals);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void summaryCleared() override;
    void rootsAdded() override;
    void rowAdded(int rootNumber, const SummaryEntry& entry) override;
    void detailAdded(const QString& rowKey, const QString& text, quint32 colour) override;
    void countersChanged() override;

    void placePages();
    void selectNextTab();
    void openLog();

    std::unique_ptr<Ui::frmOptions> m_ui;
    UiServices& m_services;
    SummaryTree m_tree;
    QList<QWidget*> m_pages;  ///< one per tab, in tab order
    QHash<QString, QTreeWidgetItem*> m_rowItems;  ///< row entries by key, for their details
};

}  // namespace fotolista
