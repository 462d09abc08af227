#pragma once
// The Transforms window: the regression report of the last fit.
#include <QDialog>
#include <QPlainTextEdit>
#include <string>
#include <vector>

class TFOBForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFOBForm(QWidget* parent = nullptr);

  // Replaces the memo's lines (an empty list empties it) and sizes the window to
  // show them.
  void SetLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;

  QPlainTextEdit* CoregMemo;
};
