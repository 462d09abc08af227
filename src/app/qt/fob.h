#pragma once
// The Transforms window: the regression report of the last fit and, below it, the
// landmark check (one row per landmark, a summary line and the spread warning).
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <functional>
#include <string>
#include <vector>

#include "reg/RegFormView.h"

class TFOBForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFOBForm(QWidget* parent = nullptr);

  // Replaces the memo's lines (an empty list empties it) and sizes the window to
  // show them.
  void SetLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;
  // The landmark check; no rows and no summary hide it.
  void SetCheck(const std::vector<TCheckTableRow>& rows, const std::string& summary, const std::string& warning);

  // Called with the calibration row of a check table row the operator chose.
  std::function<void(int)> onCheckRowChosen;

  QPlainTextEdit* CoregMemo;
  QTableWidget* CheckTable;
  QLabel* CheckSummary;
  QLabel* CheckLegend;  // what the worst row's mark means
  QLabel* CheckWarning;

 private:
  std::vector<int> checkRows_;  // the calibration row of each table row
  bool filling_ = false;
};
