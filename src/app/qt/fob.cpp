#include "fob.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QVBoxLayout>

#include "reg/RegFormDesign.h"

TFOBForm::TFOBForm(QWidget* parent) : QDialog(parent) {
  setObjectName("FOBForm");
  setWindowTitle(design::kTransformsCaption);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
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
  CheckTable->setHorizontalHeaderLabels(
      {design::kCheckHeaderRow, design::kCheckHeaderResidual, design::kCheckHeaderLeaveOneOut});
  CheckTable->verticalHeader()->hide();
  CheckTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  CheckTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CheckTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  CheckTable->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(CheckTable, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    if (!filling_ && row >= 0 && row < static_cast<int>(checkRows_.size()) && onCheckRowChosen)
      onCheckRowChosen(checkRows_[static_cast<size_t>(row)]);
  });
  CheckSummary = new QLabel(this);
  CheckSummary->setObjectName("CheckSummary");
  CheckSummary->setFont(fixed);
  CheckSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  CheckWarning = new QLabel(this);
  CheckWarning->setObjectName("CheckWarning");
  CheckWarning->setWordWrap(true);
  QPalette red = CheckWarning->palette();
  red.setColor(QPalette::WindowText, QColor(192, 0, 0));
  CheckWarning->setPalette(red);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(CoregMemo, 3);
  layout->addWidget(CheckTable, 2);
  layout->addWidget(CheckSummary);
  layout->addWidget(CheckWarning);
  SetCheck({}, "", "");
  resize(design::kTransformsWidth, design::kTransformsHeight);
}

void TFOBForm::SetLines(const std::vector<std::string>& lines) {
  QStringList list;
  int widest = 0;
  QFontMetrics fm(CoregMemo->font());
  for (const auto& line : lines) {
    QString text = QString::fromStdString(line);
    widest = std::max(widest, fm.horizontalAdvance(text));
    list << text;
  }
  CoregMemo->setPlainText(list.join('\n'));
  if (!lines.empty()) {
    // Wide and tall enough for the report (and the check below it), within the screen.
    int w = std::max(design::kTransformsWidth, widest + 48);
    int h = std::max(design::kTransformsHeight, fm.lineSpacing() * static_cast<int>(lines.size() + 1) + 48);
    if (!CheckTable->isHidden()) h += 240;
    if (QScreen* s = screen()) {
      w = std::min(w, s->availableGeometry().width() - 40);
      h = std::min(h, s->availableGeometry().height() - 80);
    }
    resize(w, h);
  }
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
  CheckTable->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const TCheckTableRow& r = rows[static_cast<size_t>(i)];
    checkRows_.push_back(r.row);
    const QString cells[3] = {QString::number(r.row) + (r.worst ? " *" : ""), QString::fromStdString(r.residual),
                              QString::fromStdString(r.leaveOneOut)};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (r.worst) {
        QFont f = item->font();
        f.setBold(true);
        item->setFont(f);
        item->setForeground(QColor(192, 0, 0));
      }
      CheckTable->setItem(i, c, item);
    }
  }
  CheckTable->clearSelection();
  CheckTable->setCurrentCell(-1, -1);
  filling_ = false;
  const bool shown = !rows.empty() || !summary.empty();
  CheckTable->setVisible(shown);
  CheckSummary->setText(QString::fromStdString(summary));
  CheckSummary->setVisible(!summary.empty());
  CheckWarning->setText(QString::fromStdString(warning));
  CheckWarning->setVisible(!warning.empty());
}
