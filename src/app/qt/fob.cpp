#include "fob.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QScreen>
#include <QVBoxLayout>

TFOBForm::TFOBForm(QWidget* parent) : QDialog(parent) {
  setObjectName("FOBForm");
  setWindowTitle("Transforms");
  CoregMemo = new QPlainTextEdit(this);
  CoregMemo->setObjectName("CoregMemo");
  // The report's columns line up only in a fixed-pitch font.
  CoregMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  CoregMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  CoregMemo->setReadOnly(true);
  CoregMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  CoregMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(CoregMemo);
  resize(479, 249);
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
    // Wide and tall enough for the report, within the screen.
    int w = std::max(479, widest + 48);
    int h = std::max(249, fm.lineSpacing() * static_cast<int>(lines.size() + 1) + 48);
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
