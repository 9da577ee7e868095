#include "cli/consolehost.h"

#include "core/image/prepareimages.h"
#include "core/summary/summarytexts.h"

#include <chrono>
#include <thread>

namespace fotolista {

ConsoleHost::ConsoleHost(QTextStream& err, bool showProgress) : m_err(err), m_showProgress(showProgress)
{
    m_clock.start();
}

MessageAnswer ConsoleHost::showMessage(const QString& text, MessageButtons buttons, MessageIcon icon,
                                       const QString& title)
{
    Q_UNUSED(icon);
    finishProgress();
    m_err << QStringLiteral("fotolista-batch: ");
    if (!title.isEmpty())
        m_err << title << QStringLiteral(": ");
    m_err << text << Qt::endl;
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return MessageAnswer::Yes;
    }
    return MessageAnswer::Ok;
}

QString ConsoleHost::askText(const QString&, const QString&)
{
    return {};
}

FileChoice ConsoleHost::chooseFileToOpen(const QString&, const QString&)
{
    return FileChoice::cancelled();
}

FileChoice ConsoleHost::chooseFileToSave(const QString&, const QString&, const QString&)
{
    return FileChoice::cancelled();
}

bool ConsoleHost::startProgram(const QString&, const QStringList&, WindowMode)
{
    return false;
}

bool ConsoleHost::openWithDesktop(const QString&)
{
    return false;
}

void ConsoleHost::destinationBusy(const QString& text)
{
    finishProgress();
    m_err << QStringLiteral("fotolista-batch: ") << text << Qt::endl;
}

void ConsoleHost::yieldToUser()
{
    if (onYield)
        onYield();
    drawProgress(false);
}

void ConsoleHost::waitUntil(const std::function<bool()>& ready)
{
    // Keep the progress line's clock moving while the workers decode.
    while (!ready()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (onYield)
            onYield();
        drawProgress(false);
    }
}

void ConsoleHost::setRowCounters(qint64 totales, qint64 noProcesadas, qint64 procesadas)
{
    m_tree.setCounters(totales, noProcesadas, procesadas);
}

void ConsoleHost::rowCountKnown(qint64 completeRowCount)
{
    m_preCount = completeRowCount;
    drawProgress(true);
}

void ConsoleHost::rowHandled(const RowReport& report)
{
    // A Ctrl-C that came after the row's last yield still stops the run here,
    // before the next row starts.
    if (onYield)
        onYield();
    if (onRow)
        onRow(report);
    ++m_rowsDone;
    const QString row = QStringLiteral("fila %1 (%2 → %3)")
                            .arg(report.passNumber)
                            .arg(report.cells.originAddress, report.cells.destinationAddress);
    QString warning;
    if (report.fate == RowFate::Unsafe)
        warning = QStringLiteral("%1: el nombre «%2» o «%3» sale de la carpeta elegida; la fila no se procesa.")
                      .arg(row, report.cells.sourceText, report.cells.destinationText);
    if (report.outcome) {
        switch (*report.outcome) {
        case RowOutcome::NotDecoded:
            warning = report.problem.isEmpty()
                          ? QStringLiteral("%1: no se puede leer la imagen «%2»; no se escribe nada.")
                                .arg(row, report.sourcePath)
                          : QStringLiteral("%1: no se puede leer la imagen «%2»: %3; no se escribe nada.")
                                .arg(row, report.sourcePath, report.problem);
            break;
        case RowOutcome::CellsNoLongerMatching:
            warning = QStringLiteral("%1: una de las dos celdas está vacía; no se escribe nada.").arg(row);
            break;
        case RowOutcome::TooLarge:
            warning = QStringLiteral("%1: la imagen «%2» o su copia pasa del límite de %3 millones de píxeles; "
                                     "no se escribe nada.")
                          .arg(row, report.sourcePath)
                          .arg(kMaxSourcePixels / 1'000'000);
            break;
        case RowOutcome::WriteFailed:
            warning = QStringLiteral("%1: no se escribe «%2»: %3.").arg(row, report.destinationPath, report.problem);
            break;
        case RowOutcome::SmallWriteFailed:
            warning = QStringLiteral("%1: no se escribe la copia pequeña de «%2»: %3.")
                          .arg(row, report.destinationPath, report.problem);
            break;
        case RowOutcome::MarketplaceWriteFailed:
            warning = QStringLiteral("%1: no se escribe la copia para tiendas de «%2»: %3.")
                          .arg(row, report.destinationPath, report.problem);
            break;
        case RowOutcome::Unchanged: ++m_unchanged; break;
        case RowOutcome::Written: break;
        }
    }
    if (!warning.isEmpty()) {
        finishProgress();
        m_err << QStringLiteral("fotolista-batch: aviso: ") << escapedControls(warning) << Qt::endl;
    }
    drawProgress(true);
}

void ConsoleHost::dataLeftAfterStop(qint64 stopRow, qint64 rowsLeft)
{
    finishProgress();
    m_err << QStringLiteral("fotolista-batch: aviso: el lote termina en la fila %1, que está vacía, pero debajo hay "
                            "%2 filas más con datos sin procesar; --skip-blank-rows las procesa.")
                 .arg(stopRow)
                 .arg(rowsLeft)
          << Qt::endl;
}

QStringList ConsoleHost::summaryLines(const RunTotals& totals) const
{
    QStringList lines = m_tree.toLines();
    lines << QStringLiteral("Totales: ") + QString::number(m_tree.counters().totales)
          << QStringLiteral("No procesadas: ") + QString::number(m_tree.counters().noProcesadas)
          << QStringLiteral("procesadas: ") + QString::number(m_tree.counters().procesadas.value_or(0))
          << QStringLiteral("Total leido: ") + QString::number(totals.kbReadTotal) + QStringLiteral(" kb")
          << QStringLiteral("Total comprimido: ") + QString::number(totals.kbWrittenTotal) + QStringLiteral(" kb");
    // Rows skipped by --only-changed are neither failures nor new copies.
    if (m_unchanged > 0)
        lines.insert(lines.size() - 2,
                     QStringLiteral("Sin cambios (no se han vuelto a hacer): ") + QString::number(m_unchanged));
    return lines;
}

void ConsoleHost::drawProgress(bool force)
{
    if (!m_showProgress || m_preCount <= 0)
        return;
    // A few redraws a second are plenty and keep the terminal quiet.
    if (!force && m_lastDraw.isValid() && m_lastDraw.elapsed() < 200)
        return;
    m_lastDraw.start();
    const qint64 total = std::max(m_preCount - 1, m_rowsDone);
    const int width = 30;
    const int filled = total > 0 ? int(std::min<qint64>(width, m_rowsDone * width / total)) : width;
    const qint64 seconds = m_clock.elapsed() / 1000;
    m_err << QLatin1Char('\r') << QLatin1Char('[') << QString(filled, QLatin1Char('#'))
          << QString(width - filled, QLatin1Char(' ')) << QStringLiteral("] ") << m_rowsDone << QLatin1Char('/')
          << total << QStringLiteral("  ") << seconds / 60 << QLatin1Char(':')
          << QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0')) << QStringLiteral("  ");
    m_err.flush();
    m_progressShown = true;
}

void ConsoleHost::finishProgress()
{
    if (!m_progressShown)
        return;
    m_err << QStringLiteral("\r\033[K");
    m_err.flush();
    m_progressShown = false;
}

}  // namespace fotolista
