#pragma once
// Qt implementations of the core's outside-world interfaces: modal message boxes,
// file dialogs, and the clock whose waits keep the window painting while a modal
// progress dialog shows that the tracker is being connected.
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include "Interfaces.h"

// Message boxes titled with the application's name. Carriage returns in the text
// break lines.
class TQtMessagePresenter : public IMessagePresenter {
 public:
  explicit TQtMessagePresenter(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  // Save, Discard and Cancel; Escape and closing the box are Cancel.
  TSaveAnswer AskSave(const std::string& text) override;

 private:
  QPointer<QWidget> parent_;
};

// Converts "Text file (*.txt)|*.txt" (description|pattern pairs) into Qt's form.
QString QtFilter(const std::string& filter);

class TQtFileChooser : public IFileChooser {
 public:
  explicit TQtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  std::optional<std::string> ChooseOpen(const TFileDialogSpec& spec) override;
  std::optional<std::string> ChooseSave(const TFileDialogSpec& spec) override;

 private:
  QPointer<QWidget> parent_;
};

// The tracker start-up's clock. Between Begin and End a modal progress dialog
// shows that the tracker is being connected; Sleep waits the whole time while the
// window keeps painting, but runs no operator input (and no polling tick: the
// tracker link stops the timer during its waits).
class TQtWaitClock : public IClock {
 public:
  explicit TQtWaitClock(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Sleep(uint32_t ms) override;
  uint64_t NowMs() override;

  // Shows the progress dialog; `expectedMs` is the length of the whole exchange.
  void Begin(const QString& text, int expectedMs);
  void End();
  bool Active() const { return dialog_ != nullptr; }

 private:
  QPointer<QWidget> parent_;
  QPointer<QProgressDialog> dialog_;
  QElapsedTimer monotonic_;
  QElapsedTimer phase_;
};
