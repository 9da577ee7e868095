#include "ui/check/checkwindow.h"

#include "core/check/batchcheck.h"
#include "ui_checkwindow.h"

#include <QHeaderView>

#include <limits>

namespace fotolista {

namespace {

/// What each kind means, for the tool tip of its cell.
QString kindMeaning(FindingKind kind)
{
    switch (kind) {
    case FindingKind::MissingSource: return QStringLiteral("No hay foto con ese nombre: la fila no se procesa");
    case FindingKind::EmptyOrigin: return QStringLiteral("La celda origen está vacía: la fila no se procesa");
    case FindingKind::InvalidName: return QStringLiteral("Un nombre que el proceso no admite: la fila no da imágenes");
    case FindingKind::RepeatedDestination:
        return QStringLiteral("Dos filas escriben la misma imagen: la segunda no se escribe");
    case FindingKind::Unreadable:
        return QStringLiteral("La foto no se puede leer o es demasiado grande: la fila no da imágenes");
    case FindingKind::Overwrites: return QStringLiteral("La imagen ya existe en el destino y se reemplazará");
    case FindingKind::RepeatedSource: return QStringLiteral("La misma foto sirve a varias filas");
    case FindingKind::Unused: return QStringLiteral("Una foto de la carpeta fuente que ninguna fila usa");
    case FindingKind::Ambiguous: return QStringLiteral("Varias fotos se llaman igual salvo mayúsculas");
    case FindingKind::OverwritesSource:
        return QStringLiteral("La imagen reemplazaría una foto original del libro: la fila no se escribe");
    case FindingKind::DataAfterEnd:
        return QStringLiteral("El lote termina en una fila vacía y debajo quedan filas con datos sin procesar");
    case FindingKind::OtherFormat: return QStringLiteral("La foto está en otro formato que el elegido");
    case FindingKind::Blanks: return QStringLiteral("Espacios al principio o al final, que cuentan en el nombre");
    case FindingKind::DoubleExtension: return QStringLiteral("El texto ya lleva la extensión, que se añade otra vez");
    case FindingKind::Enlarged: return QStringLiteral("La foto es más estrecha que la copia: se amplía");
    case FindingKind::SmallForMarketplace:
        return QStringLiteral("El producto es pequeño para las tiendas online: no se podrá ampliar");
    case FindingKind::CodeTooLong:
        return QStringLiteral("El código no cabe entero en la banda: se dejan fuera los últimos caracteres");
    case FindingKind::MissingGlyph: return QStringLiteral("Un carácter del código sin dibujo: su columna queda vacía");
    case FindingKind::NarrowBand: return QStringLiteral("La banda es más estrecha que la copia grande");
    case FindingKind::MarkOutside: return QStringLiteral("La marca no cabe en la copia y no se pega");
    }
    return {};
}

/// The row column sorts by number, with the source folder's findings (row 0)
/// after every row, where the command prints them.
class RowItem : public QTableWidgetItem {
public:
    explicit RowItem(qint64 row) : m_key(row == 0 ? std::numeric_limits<qint64>::max() : row)
    {
        setData(Qt::DisplayRole, qlonglong(row));
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override
    {
        if (const auto* row = dynamic_cast<const RowItem*>(&other))
            return m_key < row->m_key;
        return QTableWidgetItem::operator<(other);
    }

private:
    qint64 m_key;
};

}  // namespace

CheckWindow::CheckWindow(QWidget* parent) : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::CheckForm>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    m_ui->hallazgos->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_ui->hallazgos->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    connect(m_ui->aceptar, &QPushButton::clicked, this, &QWidget::hide);
}

CheckWindow::~CheckWindow() = default;

void CheckWindow::showResult(const CheckResult& result)
{
    QTableWidget* table = m_ui->hallazgos;
    // Rows go in unsorted, then the table sorts by row as the workbook reads.
    table->setSortingEnabled(false);
    table->setRowCount(int(result.findings.size()));
    int line = 0;
    for (const Finding& f : result.findings) {
        QTableWidgetItem* row = new RowItem(f.row);
        auto* kind = new QTableWidgetItem(findingKindName(f.kind));
        kind->setToolTip(kindMeaning(f.kind));
        auto* detail = new QTableWidgetItem(f.detail);
        detail->setToolTip(f.detail);
        for (QTableWidgetItem* item : {row, kind, detail})
            if (isProblem(f.kind))
                item->setForeground(Qt::red);
        table->setItem(line, 0, row);
        table->setItem(line, 1, kind);
        table->setItem(line, 2, detail);
        ++line;
    }
    table->setSortingEnabled(true);
    table->sortByColumn(0, Qt::AscendingOrder);
    m_ui->resumen->setText(result.summaryLine());
    m_ui->resumen->setStyleSheet(result.problemCount() > 0 ? QStringLiteral("color: red;") : QString());
}

}  // namespace fotolista
