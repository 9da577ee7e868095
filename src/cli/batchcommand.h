#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace fotolista {

/// Exit statuses of `fotolista-batch`.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRowsFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

/// The whole command: `cells WORKBOOK`, `run WORKBOOK SOURCE_DIR DEST_DIR
/// [options]` or `--help`. `arguments` excludes the program name.
/// `programFolder` holds numeros/, the default watermark folder.
int runBatchCommand(const QStringList& arguments, const QString& programFolder, QTextStream& out, QTextStream& err,
                    bool stderrIsTerminal);

/// Counts a Ctrl-C; called from the signal handler (async-signal-safe).
void noteInterrupt();

}  // namespace fotolista
