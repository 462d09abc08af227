#include "fob.h"

#include <QFontMetrics>
#include <algorithm>
#include <QHeaderView>
#include <QScreen>
#include <QVBoxLayout>

#include "Controls.h"
#include "reg/RegFormLook.h"

TFOBForm::TFOBForm(QWidget* parent) : QDialog(parent) {
  setObjectName("FOBForm");
  setWindowTitle(design::kTransformsCaption);
  const QFont fixed = LookFont(look::kReportFont);
  CoregMemo = new QPlainTextEdit(this);
  CoregMemo->setObjectName("CoregMemo");
  // The report's columns line up only in a fixed-pitch font.
  CoregMemo->setFont(fixed);
  CoregMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  CoregMemo->setReadOnly(true);
  CoregMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  CoregMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  CheckTable = new QTableWidget(0, 3, this);
  CheckTable->setObjectName("CheckTable");
  CheckTable->setFont(fixed);
  CheckTable->verticalHeader()->hide();
  CheckTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  CheckTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CheckTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  CheckTable->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(CheckTable, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    if (!filling_ && row >= 0 && row < static_cast<int>(checkRows_.size()) && onCheckRowChosen)
      onCheckRowChosen(checkRows_[static_cast<size_t>(row)]);
  });
  CheckLegend = new QLabel(QString::fromUtf8(design::kCheckLegend), this);
  CheckLegend->setObjectName("CheckLegend");
  CheckLegend->setFont(fixed);
  CheckSummary = new QLabel(this);
  CheckSummary->setObjectName("CheckSummary");
  CheckSummary->setFont(fixed);
  CheckSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  CheckWarning = new QLabel(this);
  CheckWarning->setObjectName("CheckWarning");
  CheckWarning->setWordWrap(true);
  CheckWarning->setFont(LookFont(look::kWarningFont));
  QPalette red = CheckWarning->palette();
  red.setColor(QPalette::WindowText, LookColor(look::kWarningInk));
  CheckWarning->setPalette(red);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(CoregMemo, look::kReportShare);
  layout->addWidget(CheckTable, look::kCheckShare);
  layout->addWidget(CheckLegend);
  layout->addWidget(CheckSummary);
  layout->addWidget(CheckWarning);
  SetCheck({}, "", "");
  resize(look::kTransformsWidth, look::kTransformsHeight);
}

void TFOBForm::SetLines(const std::vector<std::string>& lines) {
  QStringList list;
  QFontMetrics fm(CoregMemo->font());
  look::TReportExtent report{static_cast<int>(lines.size()), 0, fm.lineSpacing()};
  for (const auto& line : lines) {
    QString text = QString::fromStdString(line);
    report.widestLine = std::max(report.widestLine, fm.horizontalAdvance(text));
    list << text;
  }
  CoregMemo->setPlainText(list.join('\n'));
  std::optional<look::TPixelSize> area;
  if (QScreen* s = screen()) area = look::TPixelSize{s->availableGeometry().width(), s->availableGeometry().height()};
  if (auto size = TransformsClientSize(report, !CheckTable->isHidden(), area)) resize(size->width, size->height);
}

std::vector<std::string> TFOBForm::Lines() const {
  std::vector<std::string> lines;
  QString text = CoregMemo->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& l : text.split('\n')) lines.push_back(l.toStdString());
  return lines;
}

void TFOBForm::SetCheck(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                        const std::string& warning) {
  filling_ = true;
  checkRows_.clear();
  // The mm columns only when the rows carry them (an MRI image is loaded).
  const bool withMm = std::any_of(rows.begin(), rows.end(), [](const TCheckTableRow& r) { return !r.residualMm.empty(); });
  const std::vector<std::string> headers = CheckTableHeaders(withMm);
  CheckTable->setColumnCount(static_cast<int>(headers.size()));
  QStringList labels;
  for (const std::string& h : headers) labels << QString::fromStdString(h);
  CheckTable->setHorizontalHeaderLabels(labels);
  CheckTable->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const TCheckTableRow& r = rows[static_cast<size_t>(i)];
    checkRows_.push_back(r.row);
    const std::vector<std::string> cells = CheckTableCells(r);
    for (int c = 0; c < static_cast<int>(cells.size()) && c < CheckTable->columnCount(); ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(cells[static_cast<size_t>(c)]));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (r.worst) {
        item->setFont(LookFont(look::kWorstRowFont));
        item->setForeground(LookColor(look::kWarningInk));
      }
      CheckTable->setItem(i, c, item);
    }
  }
  CheckTable->clearSelection();
  CheckTable->setCurrentCell(-1, -1);
  filling_ = false;
  const bool shown = !rows.empty() || !summary.empty();
  CheckTable->setVisible(shown);
  CheckLegend->setVisible(!rows.empty());
  CheckSummary->setText(QString::fromStdString(summary));
  CheckSummary->setVisible(!summary.empty());
  CheckWarning->setText(QString::fromStdString(warning));
  CheckWarning->setVisible(!warning.empty());
}
