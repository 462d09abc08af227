#include "QtServices.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace {

QString Displayed(const std::string& text) {
  QString s = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  s.replace("\r\n", "\n");
  s.replace('\r', '\n');
  return s;
}

}  // namespace

void TQtMessagePresenter::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), Displayed(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

void TQtMessagePresenter::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(),
                  Displayed(ErrorBoxText(text)), QMessageBox::Ok, parent_);
  box.exec();
}

IMessagePresenter::TSaveAnswer TQtMessagePresenter::AskSave(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), Displayed(text),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
  box.setObjectName("SaveQuestion");
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Save: return TSaveAnswer::Save;
    case QMessageBox::Discard: return TSaveAnswer::Discard;
    default: return TSaveAnswer::Cancel;
  }
}

QString QtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace(';', ' ');
    QString desc = parts[i];
    // Qt reads the patterns from the parentheses of the description.
    out << (desc.contains('(') ? desc : desc + " (" + pattern + ")");
  }
  return out.join(";;");
}

std::optional<std::string> TQtFileChooser::ChooseOpen(const TFileDialogSpec& spec) {
  QFileDialog dialog(parent_, QString(), QString::fromStdString(spec.initialDir),
                     QtFilter(spec.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> TQtFileChooser::ChooseSave(const TFileDialogSpec& spec) {
  QFileDialog dialog(parent_, QString(), QString::fromStdString(spec.initialDir),
                     QtFilter(spec.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QString::fromStdString(spec.defaultExt));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.overwritePrompt);
  // The name proposed: that of the calibration in hand.
  if (!spec.fileName.empty()) dialog.selectFile(QString::fromStdString(spec.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

void TQtWaitClock::Sleep(uint32_t ms) {
  QElapsedTimer t;
  t.start();
  QEventLoop loop;
  QTimer done;
  done.setSingleShot(true);
  done.setTimerType(Qt::PreciseTimer);
  QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
  QTimer progress;
  progress.setInterval(20);
  QObject::connect(&progress, &QTimer::timeout, &loop, [this] {
    if (dialog_ && phase_.isValid())
      dialog_->setValue(std::min<int>(dialog_->maximum() - 1, static_cast<int>(phase_.elapsed())));
  });
  progress.start();
  // Never shorter than asked: the device needs the whole wait.
  for (qint64 left = ms; left > 0; left = static_cast<qint64>(ms) - t.elapsed()) {
    done.start(static_cast<int>(left));
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
}

uint64_t TQtWaitClock::NowMs() {
  if (!monotonic_.isValid()) monotonic_.start();
  return static_cast<uint64_t>(monotonic_.elapsed());
}

void TQtWaitClock::Begin(const QString& text, int expectedMs) {
  End();
  auto* d = new QProgressDialog(text, QString(), 0, std::max(1, expectedMs), parent_);
  d->setWindowTitle(QApplication::applicationName());
  d->setWindowModality(Qt::ApplicationModal);
  d->setCancelButton(nullptr);
  d->setMinimumDuration(0);
  d->setAutoClose(false);
  d->setAutoReset(false);
  d->setValue(0);
  d->show();
  dialog_ = d;
  phase_.start();
}

void TQtWaitClock::End() {
  if (dialog_) {
    dialog_->close();
    dialog_->deleteLater();
    dialog_ = nullptr;
    // The keyboard goes back to the window the dialog stood over.
    if (parent_ && parent_->isVisible()) parent_->activateWindow();
  }
  phase_.invalidate();
}
