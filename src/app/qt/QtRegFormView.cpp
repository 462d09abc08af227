#include "QtRegFormView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSessionManager>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "Glyphs.h"
#include "QtServices.h"
#include "fob.h"

namespace {

QString Text(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

QString Lines(const char* text) { return QString(text).replace('\r', '\n'); }

// The look's shortcut texts are Qt's portable key names too.
QKeySequence KeyOf(TShortcut s) { return QKeySequence(QString(ShortcutText(s)), QKeySequence::PortableText); }

// Qt's keys and the key codes the grid's handler speaks.
constexpr std::pair<int, int> kGridKeys[] = {
    {Qt::Key_Escape, kKeyEscape}, {Qt::Key_PageUp, kKeyPageUp}, {Qt::Key_PageDown, kKeyPageDown},
    {Qt::Key_Up, kKeyUp},         {Qt::Key_Down, kKeyDown},     {Qt::Key_Period, kKeyPeriod},
};

QIcon GlyphIcon(TGlyph g) {
  switch (g) {
    case TGlyph::Open: return OpenGlyph();
    case TGlyph::Save: return SaveGlyph();
    case TGlyph::Add: return AddGlyph();
    case TGlyph::Delete: return DeleteGlyph();
    case TGlyph::Mode: return ModeGlyph();
    case TGlyph::Report: return ReportGlyph();
  }
  return {};
}

// Draws the current cell of the focused grid in the look's colour, with its text
// inset from the cell's top left corner; every other cell keeps the usual look.
class TRegGridDelegate : public QStyledItemDelegate {
 public:
  explicit TRegGridDelegate(QTableWidget* grid) : QStyledItemDelegate(grid), grid_(grid) {}
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(p, option, index);
    bool selected = option.state & QStyle::State_Selected;
    bool focused = grid_->hasFocus() && index == grid_->currentIndex();
    if (!(selected && focused)) return;
    p->save();
    p->fillRect(option.rect, LookColor(look::kCurrentCell));
    p->setClipRect(option.rect);
    p->setFont(grid_->font());
    p->setPen(grid_->palette().color(QPalette::Text));
    const int inset = look::kCurrentCellTextInset;
    p->drawText(option.rect.adjusted(inset, inset, 0, 0), Qt::AlignLeft | Qt::AlignTop, index.data().toString());
    p->restore();
  }

 private:
  QTableWidget* grid_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TQtRegFormView::TQtRegFormView(const TRegFormServices& services, TQtWaitClock* progress, QWidget* parent)
    : QMainWindow(parent), progress_(progress) {
  setObjectName("RegForm");
  // Every number the window formats or parses uses a full stop (Qt adopted the
  // user's locale when the application started).
  QLocale::setDefault(QLocale::c());
  BuildWidgets();
  BuildMenus();
#ifndef QT_NO_SESSIONMANAGER
  // The session ends (log off, shut down): unsaved rows are asked about as for a
  // close, and Cancel keeps the session. Without leave to ask, nothing is asked.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& session) {
    if (!session.allowsInteraction()) return;
    const bool mayEnd = form_->FormCloseQuery();
    session.release();
    if (!mayEnd) session.cancel();
  });
#endif
  for (TFastLabel* l : {dxFOBlabel, DistanceLabel, DistanceMmLabel}) l->SetPacer(&frames_);
  for (TSpinEdit* e : {XEdit, YEdit, ZEdit}) e->SetPacer(&frames_);
  Timer1.setInterval(look::kTimer1IntervalMs);
  // The default coarse timer may stretch the interval by 5 %.
  Timer1.setTimerType(Qt::PreciseTimer);
  // The polling goes on behind every box. Qt holds a timer back while its handler
  // runs, so a message box opened in a tick would stop it: while a tick runs, a
  // second timer stands by, and if the tick takes longer than an interval (a box
  // is open) it runs the next ticks from the event loop, as posted events, which
  // nest to any depth. A tick that ends in time costs no posted event.
  TickInLoop.setInterval(look::kTimer1IntervalMs);
  TickInLoop.setTimerType(Qt::PreciseTimer);
  connect(&TickInLoop, &QTimer::timeout, this, [this] {
    QMetaObject::invokeMethod(this, [this] { RunTick(); }, Qt::QueuedConnection);
  });
  connect(&Timer1, &QTimer::timeout, this, [this] {
    TickInLoop.start();
    struct TStandDown {  // also when an error escapes the tick
      QTimer& timer;
      ~TStandDown() { timer.stop(); }
    } standDown{TickInLoop};
    RunTick();
  });
  form_ = std::make_unique<TRegForm>(services, *this);
  form_->FormCreate();
  if (QScreen* s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
}

TQtRegFormView::~TQtRegFormView() { form_->FormDestroy(); }

void TQtRegFormView::RunTick() {
  if (Timer1.isActive()) form_->Timer1Timer();
  frames_.Tick();
}

void TQtRegFormView::BuildWidgets() {
  setWindowTitle(design::kCaption);
  setFont(LookFont(look::kWindowFont));
  resize(look::kWidth, look::kHeight);
  setMinimumWidth(look::kMinWidth);

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  // Calibrate view: the tool column and the grid.
  tableArea_ = new QWidget(central);
  auto* tableLayout = new QHBoxLayout(tableArea_);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  tableLayout->setSpacing(0);
  CoolBar1 = new QWidget(tableArea_);
  CoolBar1->setObjectName("CoolBar1");
  CoolBar1->setFixedWidth(look::kToolColumnWidth);
  auto* tools = new QVBoxLayout(CoolBar1);
  const int pad = look::kToolColumnPadding;
  tools->setContentsMargins(pad, pad, pad, pad);
  tools->setSpacing(0);
  for (const TToolButton& t : ToolColumn()) {
    auto* b = new QToolButton(CoolBar1);
    b->setObjectName(t.name);
    b->setIcon(GlyphIcon(t.glyph));
    b->setToolTip(t.tooltip);
    b->setAutoRaise(true);
    b->setFixedSize(look::kToolButtonSize, look::kToolButtonSize);
    b->setFocusPolicy(Qt::NoFocus);
    tools->addWidget(b);
    const TCommand c = t.command;
    connect(b, &QToolButton::clicked, this, [this, c] { form_->Command(c); });
    buttons_[c] = b;
  }
  tools->addStretch(1);

  RegGrid = new QTableWidget(1, 2, tableArea_);
  RegGrid->setObjectName("RegGrid");
  RegGrid->setFont(LookFont(look::kBarFont));
  RegGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  RegGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  RegGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
  RegGrid->setShowGrid(true);
  RegGrid->verticalHeader()->hide();
  RegGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  RegGrid->verticalHeader()->setDefaultSectionSize(look::kGridRowHeight);
  RegGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  RegGrid->horizontalHeader()->setDefaultSectionSize(look::kGridColumnWidth);
  RegGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  RegGrid->horizontalHeader()->setFont(RegGrid->font());
  RegGrid->horizontalHeader()->setFixedHeight(look::kGridRowHeight);
  RegGrid->horizontalHeader()->setHighlightSections(false);
  RegGrid->setItemDelegate(new TRegGridDelegate(RegGrid));
  RegGrid->installEventFilter(this);
  connect(RegGrid, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
    if (!rebuildingGrid_ && row >= 0) form_->RegGridSelectCell(col, row + 1);
  });
  connect(RegGrid, &QTableWidget::cellDoubleClicked, this, [this](int, int) { form_->RegGridDblClick(); });
  tableLayout->addWidget(CoolBar1);
  tableLayout->addWidget(RegGrid, 1);

  auto makeEdit = [&](TEdit id, QWidget* parent, QBoxLayout* layout, int width) {
    auto* e = new TSpinEdit(parent);
    e->setObjectName(EditName(id));
    e->setFixedSize(width, look::kEditHeight);
    layout->addWidget(e);
    edits_[static_cast<int>(id)] = e;
    connect(e, &QSpinBox::valueChanged, this, [this] { form_->XEditChange(); });
    return e;
  };

  // Track view: formula, Transforms button, desired voxel and distance.
  TrackPanel = new QWidget(central);
  TrackPanel->setObjectName("TrackPanel");
  auto* track = new QVBoxLayout(TrackPanel);
  FormulaLabel = new QLabel(Lines(design::kFormulaStart), TrackPanel);
  FormulaLabel->setObjectName("FormulaLabel");
  FormulaLabel->setFont(LookFont(look::kFormulaFont));
  FormulaLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  track->addWidget(FormulaLabel);
  auto* desiredRow = new QHBoxLayout;
  SpeedButton1 = new QToolButton(TrackPanel);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setIcon(GlyphIcon(TGlyph::Report));
  SpeedButton1->setIconSize(QSize(20, 20));
  SpeedButton1->setToolTip(design::kReportTooltip);
  SpeedButton1->setAutoRaise(true);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { form_->Command(TCommand::SpeedButton1); });
  buttons_[TCommand::SpeedButton1] = SpeedButton1;
  desiredRow->addWidget(SpeedButton1);
  auto* desiredLabel = new QLabel(design::kDesiredLabel, TrackPanel);
  desiredLabel->setFont(LookFont(look::kBarFont));
  desiredRow->addWidget(desiredLabel);
  desirex = makeEdit(TEdit::desirex, TrackPanel, desiredRow, look::kDesiredEditWidth);
  desirey = makeEdit(TEdit::desirey, TrackPanel, desiredRow, look::kDesiredEditWidth);
  desirez = makeEdit(TEdit::desirez, TrackPanel, desiredRow, look::kDesiredEditWidth);
  desiredRow->addStretch(1);
  track->addLayout(desiredRow);
  auto* distanceRow = new QHBoxLayout;
  auto* distanceCaption = new QLabel(design::kDistanceCaption, TrackPanel);
  distanceCaption->setFont(LookFont(look::kBarFont));
  distanceRow->addWidget(distanceCaption);
  DistanceLabel = new TFastLabel(design::kDistanceStart, "8.888e+88", TrackPanel);
  DistanceLabel->setObjectName("DistanceLabel");
  DistanceLabel->setFont(LookFont(look::kDistanceFont));
  distanceRow->addWidget(DistanceLabel);
  DistanceMmLabel = new TFastLabel("", "88888.88 mm", TrackPanel);
  DistanceMmLabel->setObjectName("DistanceMmLabel");
  DistanceMmLabel->setFont(LookFont(look::kDistanceMmFont));
  distanceRow->addWidget(DistanceMmLabel);
  distanceRow->addStretch(1);
  track->addLayout(distanceRow);
  track->addStretch(1);
  TrackPanel->hide();

  // The bottom bar.
  ToolBar2 = new QWidget(central);
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setFixedHeight(look::kBottomBarHeight);
  ToolBar2->setAutoFillBackground(true);
  QPalette grey = ToolBar2->palette();
  grey.setColor(QPalette::Window, LookColor(look::kBarGrey));
  ToolBar2->setPalette(grey);
  ToolBar2->setFont(LookFont(look::kBarFont));
  auto* bar = new QHBoxLayout(ToolBar2);
  const int gap = look::kBarPadding;
  bar->setContentsMargins(gap, gap, gap, gap);
  bar->setSpacing(gap);
  QueryOrSampleBtn = new QToolButton(ToolBar2);
  QueryOrSampleBtn->setObjectName("QueryOrSampleBtn");
  QueryOrSampleBtn->setIcon(GlyphIcon(TGlyph::Mode));
  QueryOrSampleBtn->setIconSize(QSize(20, 26));
  QueryOrSampleBtn->setFixedSize(look::kModeButtonWidth, look::kEditHeight);
  QueryOrSampleBtn->setAutoRaise(true);
  QueryOrSampleBtn->setToolTip(design::kModeTooltip);
  QueryOrSampleBtn->setFocusPolicy(Qt::NoFocus);
  connect(QueryOrSampleBtn, &QToolButton::clicked, this, [this] { form_->Command(TCommand::QueryOrSampleBtn); });
  buttons_[TCommand::QueryOrSampleBtn] = QueryOrSampleBtn;
  bar->addWidget(QueryOrSampleBtn);
  bar->addWidget(new QLabel(design::kMriLabel, ToolBar2));
  XEdit = makeEdit(TEdit::XEdit, ToolBar2, bar, look::kMriEditWidth);
  YEdit = makeEdit(TEdit::YEdit, ToolBar2, bar, look::kMriEditWidth);
  ZEdit = makeEdit(TEdit::ZEdit, ToolBar2, bar, look::kMriEditWidth);
  // Wide enough for readings of three-digit centimetres without cutting the distance.
  dxFOBlabel = new TFastLabel(design::kTrackerLabelStart, " x -888.8 y -888.8 z -888.8 d 8888.8", ToolBar2);
  dxFOBlabel->setObjectName("dxFOBlabel");
  dxFOBlabel->setFont(LookFont(look::kTrackerFont));
  dxFOBlabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  bar->addWidget(dxFOBlabel, 1);

  outer->addWidget(tableArea_, 1);
  outer->addWidget(TrackPanel, 1);
  outer->addWidget(ToolBar2);
  // The status line under the bottom bar, in both views.
  StatusLine = new TStatusLine(central);
  outer->addWidget(StatusLine);
  setCentralWidget(central);
}

void TQtRegFormView::BuildMenus() {
  std::vector<QMenu*> menus;  // the open menu and submenus, innermost last
  std::map<QMenu*, QActionGroup*> groups;  // one per (sub)menu: its radio items
  for (const TMenuEntry& e : MainMenu()) {
    switch (e.kind) {
      case TMenuEntry::Menu:
        menus = {menuBar()->addMenu(e.caption)};
        menus.back()->setObjectName(e.name);
        break;
      case TMenuEntry::Submenu:
      case TMenuEntry::PortMenu: {
        QMenu* m = menus.back()->addMenu(e.caption);
        m->setObjectName(e.name);
        if (e.kind == TMenuEntry::PortMenu) {
          PortMenu = m;
          // The menu lists the ports that exist when it opens.
          connect(PortMenu, &QMenu::aboutToShow, this, [this] { form_->PortMenuOpening(); });
        } else {
          menus.push_back(m);
        }
        break;
      }
      case TMenuEntry::EndSubmenu: menus.pop_back(); break;
      case TMenuEntry::Separator: menus.back()->addSeparator(); break;
      case TMenuEntry::Item: {
        QAction* a = menus.back()->addAction(e.caption);
        a->setObjectName(e.name);
        a->setShortcut(KeyOf(e.shortcut));
        // Shortcuts work in both views, also while a grid cell has the focus.
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        if (e.checkable) {
          a->setCheckable(true);
          if (e.radio) {
            QActionGroup*& g = groups[menus.back()];
            if (!g) g = new QActionGroup(this);
            a->setActionGroup(g);
          }
        }
        const TCommand c = e.command;
        connect(a, &QAction::triggered, this, [this, c] { form_->Command(c); });
        actions_[c] = a;
        break;
      }
    }
  }
}

QAction* TQtRegFormView::Action(TCommand command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

QToolButton* TQtRegFormView::Button(TCommand command) const {
  auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------
// Window events

void TQtRegFormView::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!shown_) {
    shown_ = true;
    form_->FormShow();
  }
}

void TQtRegFormView::closeEvent(QCloseEvent* e) {
  // Every way of closing comes here (File > Exit, the close button, the system's
  // close): the controller may keep the window open (unsaved changes, Cancel).
  if (!form_->FormCloseQuery()) {
    e->ignore();
    return;
  }
  QMainWindow::closeEvent(e);
  e->accept();
  if (FOBForm) FOBForm->close();
}

bool TQtRegFormView::eventFilter(QObject* watched, QEvent* e) {
  if (watched == RegGrid && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    for (auto [qt, code] : kGridKeys) {
      if (k->key() != qt) continue;
      const int seen = form_->RegGridKeyDown(code);
      if (seen == code) return false;  // the grid handles the key as usual
      for (auto [qt2, code2] : kGridKeys) {
        if (code2 != seen) continue;
        QKeyEvent translated(QEvent::KeyPress, qt2, k->modifiers());
        QApplication::sendEvent(RegGrid, &translated);
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------
// IRegFormView

int32_t TQtRegFormView::EditValue(TEdit edit) const { return Edit(edit)->value(); }

void TQtRegFormView::SetEditValue(TEdit edit, int32_t value) {
  // Its change event (valueChanged) reaches XEditChange when the value changes.
  Edit(edit)->ShowValue(value);
}

void TQtRegFormView::SetGridRowCount(int rows) {
  rebuildingGrid_ = true;
  RegGrid->setRowCount(rows - 1);
  rebuildingGrid_ = false;
}

void TQtRegFormView::SetGridCell(int col, int row, const std::string& text) {
  QString t = Text(text);
  if (row == 0) {
    QTableWidgetItem* h = RegGrid->horizontalHeaderItem(col);
    if (!h) RegGrid->setHorizontalHeaderItem(col, h = new QTableWidgetItem);
    h->setText(t);
    return;
  }
  QTableWidgetItem* item = RegGrid->item(row - 1, col);
  if (!item) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    RegGrid->setItem(row - 1, col, item);
  }
  item->setText(t);
}

TGridSelection TQtRegFormView::GridSelection() const {
  int top = INT_MAX, left = INT_MAX;
  for (const QTableWidgetSelectionRange& r : RegGrid->selectedRanges()) {
    top = std::min(top, r.topRow());
    left = std::min(left, r.leftColumn());
  }
  if (top == INT_MAX) top = RegGrid->currentRow();
  if (left == INT_MAX) left = RegGrid->currentColumn();
  return {top < 0 ? 0 : top + 1, left < 0 ? 0 : left};
}

void TQtRegFormView::SelectGridRow(int row) {
  RegGrid->clearSelection();
  RegGrid->setCurrentCell(row - 1, 0);
  RegGrid->setRangeSelected(QTableWidgetSelectionRange(row - 1, 0, row - 1, 1), true);
}

void TQtRegFormView::FocusGrid() { RegGrid->setFocus(); }

void TQtRegFormView::SetTrackerLabel(const std::string& text, bool red) {
  trackerRed_ = red;
  ApplyTrackerInk();
  dxFOBlabel->setText(Text(text));
}

void TQtRegFormView::SetTrackerLabelStale(bool stale) {
  trackerStale_ = stale;
  ApplyTrackerInk();
}

void TQtRegFormView::ApplyTrackerInk() {
  // Old numbers are grey whatever their distance; fresh ones red when far.
  dxFOBlabel->setColor(LookColor(trackerStale_ ? look::kStaleInk
                                 : trackerRed_ ? look::kTrackerFarInk
                                               : look::kTrackerInk));
}

void TQtRegFormView::SetStatusText(TStatusField field, const std::string& text, bool red) {
  StatusLine->SetField(field, QString::fromStdString(text), red);
}

void TQtRegFormView::SetFormulaText(const std::string& text) {
  QString t = Text(text).replace('\r', '\n');
  if (FormulaLabel->text() != t) FormulaLabel->setText(t);
}

void TQtRegFormView::SetDistanceText(const std::string& text) { DistanceLabel->setText(Text(text)); }

void TQtRegFormView::SetDistanceMmText(const std::string& text) {
  DistanceMmLabel->setText(QString::fromStdString(text));
}

QWidget* TQtRegFormView::Control(TControl control) const {
  switch (control) {
    case TControl::CoolBar1: return CoolBar1;
    case TControl::OPenBtn: return Button(TCommand::OPenBtn);
    case TControl::SaveBtn: return Button(TCommand::SaveBtn);
    case TControl::AddBtn: return Button(TCommand::AddBtn);
    case TControl::DeleteBtn: return Button(TCommand::DeleteBtn);
    case TControl::RegGrid: return RegGrid;
  }
  return RegGrid;
}

bool TQtRegFormView::ControlVisible(TControl control) const { return !Control(control)->isHidden(); }

void TQtRegFormView::SetControlVisible(TControl control, bool visible) {
  Control(control)->setVisible(visible);
  UpdateViewAreas();
}

void TQtRegFormView::UpdateViewAreas() {
  tableArea_->setVisible(!RegGrid->isHidden() || !CoolBar1->isHidden());
  TrackPanel->setVisible(RegGrid->isHidden());
}

void TQtRegFormView::SetItemChecked(TCommand item, bool checked) {
  if (QAction* a = Action(item); a && a->isCheckable()) a->setChecked(checked);
}

void TQtRegFormView::AddPortItem(const std::string& caption) {
  QAction* a = PortMenu->addAction(QString::fromStdString(caption));
  a->setCheckable(true);
  const int index = static_cast<int>(portActions_.size());
  connect(a, &QAction::triggered, this, [this, index] { form_->PortItemClick(index); });
  portActions_.push_back(a);
}

void TQtRegFormView::SetPortItemChecked(int index, bool checked) {
  if (index >= 0 && index < static_cast<int>(portActions_.size())) portActions_[index]->setChecked(checked);
}

void TQtRegFormView::ClearPortItems() {
  // An item may be the one whose click is running: it goes once the event is done.
  for (QAction* a : portActions_) {
    PortMenu->removeAction(a);
    a->deleteLater();
  }
  portActions_.clear();
}

void TQtRegFormView::SetCaption(const std::string& caption) { setWindowTitle(Text(caption)); }

void TQtRegFormView::SetTimerEnabled(bool enabled) {
  if (enabled)
    Timer1.start();
  else
    Timer1.stop();
}

void TQtRegFormView::BeginProgress(const std::string& text, int expectedMs) {
  if (progress_) progress_->Begin(QString::fromStdString(text), expectedMs);
}

void TQtRegFormView::EndProgress() {
  if (progress_) progress_->End();
  // On an X server without a window manager Qt may leave no window active once the
  // progress has gone, and the menu's shortcuts then take no keys: make the window
  // the active one again when nothing else is.
  QTimer::singleShot(100, this, [this] {
    if (!QApplication::activeWindow() && isVisible()) QApplication::setActiveWindow(this);
  });
}

void TQtRegFormView::SetReportLines(const std::vector<std::string>& lines) {
  if (FOBForm) FOBForm->SetLines(lines);
}

void TQtRegFormView::SetTransformsWindow(TFOBForm* form) {
  FOBForm = form;
  if (FOBForm) FOBForm->onCheckRowChosen = [this](int row) { form_->CheckTableSelect(row); };
}

void TQtRegFormView::SetCheckTable(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                                   const std::string& warning) {
  if (FOBForm) FOBForm->SetCheck(rows, summary, warning);
}

void TQtRegFormView::ShowTransforms() {
  if (FOBForm) FOBForm->exec();
}

bool TQtRegFormView::EditServerAddress(std::string& address, int32_t& port) {
  QDialog dialog(this);
  dialog.setObjectName("ServerDialog");
  dialog.setWindowTitle(QString::fromUtf8(design::kServerDialogCaption));
  auto* layout = new QFormLayout(&dialog);
  auto* addressEdit = new QLineEdit(QString::fromStdString(address), &dialog);
  addressEdit->setObjectName("ServerAddressEdit");
  auto* portEdit = new QSpinBox(&dialog);
  portEdit->setObjectName("ServerPortEdit");
  portEdit->setRange(0, 65535);
  portEdit->setValue(std::clamp<int32_t>(port, 0, 65535));
  layout->addRow(new QLabel(QString::fromUtf8(design::kServerAddressLabel), &dialog));
  layout->addRow(addressEdit);
  layout->addRow(new QLabel(QString::fromUtf8(design::kServerPortLabel), &dialog));
  layout->addRow(portEdit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  addressEdit->setFocus();
  if (dialog.exec() != QDialog::Accepted) return false;
  address = addressEdit->text().toStdString();  // the controller trims it
  port = portEdit->value();
  return true;
}
