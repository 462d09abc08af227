#include "reg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QFontMetrics>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <climits>
#include <clocale>
#include <limits>

#include "DecimalText.h"
#include "Glyphs.h"
#include "QtServices.h"
#include "SafeFile.h"
#include "fob.h"
#include "math/RegMult.h"
#include "reg/CalibFile.h"
#include "reg/TrackView.h"
#include "tracker/Startup.h"

namespace {

constexpr char kAboutText[] =
    "Zeltra2 version October 16, 2013\r"
    "Zeltra coregisters magnetic head tracker signals with an MRI scan. For research "
    "purposes only: use with caution.\r"
    "\r"
    "Written by the Zeltra developers.\r"
    "Documentation: README.md beside the program's sources.";

constexpr char kFullMessage[] = "No more data points can be entered.";

// The design's fonts, with their metric-compatible stand-ins where they are not
// installed (Liberation Sans has Arial's widths; MS Sans Serif is close to them).
QFont PixelFont(const char* family, int pixels) {
  QFont f;
  f.setFamilies({family, "Arial", "Liberation Sans", "Helvetica"});
  f.setPixelSize(pixels);
  return f;
}

// Restores UpdatingEdits on every path out of a scope.
class TUpdatingEdits {
 public:
  explicit TUpdatingEdits(bool& flag) : flag_(flag) { flag_ = true; }
  ~TUpdatingEdits() { flag_ = false; }

 private:
  bool& flag_;
};

// Draws the current cell of the focused grid blue, with its text 2 pixels in from
// the cell's top left corner; every other cell keeps the usual look.
class TRegGridDelegate : public QStyledItemDelegate {
 public:
  explicit TRegGridDelegate(QTableWidget* grid) : QStyledItemDelegate(grid), grid_(grid) {}
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(p, option, index);
    bool selected = option.state & QStyle::State_Selected;
    bool focused = grid_->hasFocus() && index == grid_->currentIndex();
    if (!(selected && focused)) return;
    p->save();
    p->fillRect(option.rect, QColor(0, 0, 255));
    p->setClipRect(option.rect);
    p->setFont(grid_->font());
    p->setPen(grid_->palette().color(QPalette::Text));
    QRect r = option.rect.adjusted(2, 2, 0, 0);
    p->drawText(r, Qt::AlignLeft | Qt::AlignTop, index.data().toString());
    p->restore();
  }

 private:
  QTableWidget* grid_;
};

}  // namespace

// ---------------------------------------------------------------------------
// TSpinEdit

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  setSingleStep(1);
  setValue(0);
  setAccelerated(true);
}

QValidator::State TSpinEdit::validate(QString& text, int& pos) const {
  QString t = text.trimmed();
  if (t.isEmpty() || t == "-" || t == "+") return QValidator::Acceptable;
  return QSpinBox::validate(text, pos);
}

int TSpinEdit::valueFromText(const QString& text) const {
  bool ok = false;
  int v = QLocale::c().toInt(text.trimmed(), &ok);
  return ok ? v : 0;
}

// ---------------------------------------------------------------------------
// Construction

TRegForm::TRegForm(const TRegFormServices& services, QWidget* parent)
    : QMainWindow(parent), Table(nullptr), services_(services) {
  setObjectName("RegForm");
  link_ = std::make_unique<TTrackerLink>(Tracker, TrackerReading, *services_.clock,
                                         *services_.messages, static_cast<ITrackerHost&>(*this));
  BuildWidgets();
  BuildMenus();
  Table.SetView(static_cast<ICalibTableView*>(this));
  Timer1.setInterval(25);
  // The default coarse timer may stretch 25 ms by 5 %.
  Timer1.setTimerType(Qt::PreciseTimer);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  FormCreate();
}

TRegForm::~TRegForm() { FormDestroy(); }

void TRegForm::BuildWidgets() {
  setWindowTitle("Zeltra");
  setFont(PixelFont("MS Sans Serif", 11));
  resize(572, 494);
  setMinimumWidth(560);

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  // Calibrate view: the tool column and the grid.
  auto* tableArea = new QWidget(central);
  auto* tableLayout = new QHBoxLayout(tableArea);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  tableLayout->setSpacing(0);
  CoolBar1 = new QWidget(tableArea);
  CoolBar1->setObjectName("CoolBar1");
  CoolBar1->setFixedWidth(24);
  auto* tools = new QVBoxLayout(CoolBar1);
  tools->setContentsMargins(1, 1, 1, 1);
  tools->setSpacing(0);
  auto makeTool = [&](const char* name, const QIcon& icon, const QString& tip) {
    auto* b = new QToolButton(CoolBar1);
    b->setObjectName(name);
    b->setIcon(icon);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFixedSize(22, 22);
    b->setFocusPolicy(Qt::NoFocus);
    tools->addWidget(b);
    return b;
  };
  OPenBtn = makeTool("OPenBtn", OpenGlyph(), "Open calibration (Ctrl+O)");
  SaveBtn = makeTool("SaveBtn", SaveGlyph(), "Save calibration (Ctrl+S)");
  AddBtn = makeTool("AddBtn", AddGlyph(), "Add row [MRI+FOB] (F1)");
  DeleteBtn = makeTool("DeleteBtn", DeleteGlyph(), "Delete row [MRI+FOB] (F2)");
  tools->addStretch(1);
  connect(OPenBtn, &QToolButton::clicked, this, [this] { OPenBtnClick(); });
  connect(SaveBtn, &QToolButton::clicked, this, [this] { SaveBtnClick(); });
  connect(AddBtn, &QToolButton::clicked, this, [this] { AddBtnClick(); });
  connect(DeleteBtn, &QToolButton::clicked, this, [this] { DeleteBtnClick(); });

  RegGrid = new QTableWidget(1, 2, tableArea);
  RegGrid->setObjectName("RegGrid");
  RegGrid->setFont(PixelFont("Arial", 19));
  RegGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  RegGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  RegGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
  RegGrid->setShowGrid(true);
  RegGrid->verticalHeader()->hide();
  RegGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  RegGrid->verticalHeader()->setDefaultSectionSize(24);
  RegGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  RegGrid->horizontalHeader()->setDefaultSectionSize(240);
  RegGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  RegGrid->horizontalHeader()->setFont(RegGrid->font());
  RegGrid->horizontalHeader()->setFixedHeight(24);
  RegGrid->horizontalHeader()->setHighlightSections(false);
  RegGrid->setColumnWidth(0, 240);
  RegGrid->setColumnWidth(1, 240);
  RegGrid->setItemDelegate(new TRegGridDelegate(RegGrid));
  RegGrid->installEventFilter(this);
  connect(RegGrid, &QTableWidget::currentCellChanged, this,
          [this](int row, int col, int, int) {
            if (!rebuildingGrid_ && row >= 0) RegGridSelectCell(col, row + 1);
          });
  connect(RegGrid, &QTableWidget::cellDoubleClicked, this, [this](int, int) { RegGridDblClick(); });
  tableLayout->addWidget(CoolBar1);
  tableLayout->addWidget(RegGrid, 1);

  // Track view: formula, Transforms button, desired voxel and distance.
  TrackPanel = new QWidget(central);
  TrackPanel->setObjectName("TrackPanel");
  auto* track = new QVBoxLayout(TrackPanel);
  FormulaLabel = new QLabel("MRIx=k\nMRIy= k\nMRIz= k", TrackPanel);
  FormulaLabel->setObjectName("FormulaLabel");
  FormulaLabel->setFont(PixelFont("Arial", 15));
  FormulaLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  track->addWidget(FormulaLabel);
  auto* desiredRow = new QHBoxLayout;
  SpeedButton1 = new QToolButton(TrackPanel);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setIcon(ReportGlyph());
  SpeedButton1->setIconSize(QSize(20, 20));
  SpeedButton1->setToolTip("Show the regression report");
  SpeedButton1->setAutoRaise(true);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  desiredRow->addWidget(SpeedButton1);
  auto* desiredLabel = new QLabel("desired MRI", TrackPanel);
  desiredLabel->setFont(PixelFont("Arial", 19));
  desiredRow->addWidget(desiredLabel);
  auto makeDesired = [&](const char* name) {
    auto* e = new TSpinEdit(TrackPanel);
    e->setObjectName(name);
    e->setFixedWidth(60);
    desiredRow->addWidget(e);
    return e;
  };
  desirex = makeDesired("desirex");
  desirey = makeDesired("desirey");
  desirez = makeDesired("desirez");
  desiredRow->addStretch(1);
  track->addLayout(desiredRow);
  auto* distanceRow = new QHBoxLayout;
  auto* distanceCaption = new QLabel("distance [vxl]:", TrackPanel);
  distanceCaption->setFont(PixelFont("Arial", 19));
  distanceRow->addWidget(distanceCaption);
  DistanceLabel = new QLabel("0", TrackPanel);
  DistanceLabel->setObjectName("DistanceLabel");
  DistanceLabel->setFont(PixelFont("Arial", 27));
  distanceRow->addWidget(DistanceLabel);
  distanceRow->addStretch(1);
  track->addLayout(distanceRow);
  track->addStretch(1);
  TrackPanel->hide();

  // The bottom bar.
  ToolBar2 = new QWidget(central);
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setFixedHeight(40);
  ToolBar2->setAutoFillBackground(true);
  QPalette grey = ToolBar2->palette();
  grey.setColor(QPalette::Window, QColor(192, 192, 192));
  ToolBar2->setPalette(grey);
  ToolBar2->setFont(PixelFont("Arial", 19));
  auto* bar = new QHBoxLayout(ToolBar2);
  bar->setContentsMargins(4, 4, 4, 4);
  bar->setSpacing(4);
  QueryOrSampleBtn = new QToolButton(ToolBar2);
  QueryOrSampleBtn->setObjectName("QueryOrSampleBtn");
  QueryOrSampleBtn->setIcon(ModeGlyph());
  QueryOrSampleBtn->setIconSize(QSize(20, 26));
  QueryOrSampleBtn->setFixedSize(26, 32);
  QueryOrSampleBtn->setAutoRaise(true);
  QueryOrSampleBtn->setToolTip("Switch between Calibrate and Track (F5)");
  QueryOrSampleBtn->setFocusPolicy(Qt::NoFocus);
  connect(QueryOrSampleBtn, &QToolButton::clicked, this, [this] { QueryOrSampleBtnClick(); });
  bar->addWidget(QueryOrSampleBtn);
  bar->addWidget(new QLabel("MRI", ToolBar2));
  auto makeEdit = [&](const char* name) {
    auto* e = new TSpinEdit(ToolBar2);
    e->setObjectName(name);
    e->setFixedSize(68, 32);
    bar->addWidget(e);
    return e;
  };
  XEdit = makeEdit("XEdit");
  YEdit = makeEdit("YEdit");
  ZEdit = makeEdit("ZEdit");
  dxFOBlabel = new QLabel(" x     0 y      0 z      0 d      0", ToolBar2);
  dxFOBlabel->setObjectName("dxFOBlabel");
  dxFOBlabel->setFont(PixelFont("MS Sans Serif", 19));
  dxFOBlabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  // Wide enough for readings of three-digit centimetres without cutting the distance.
  dxFOBlabel->setMinimumWidth(
      QFontMetrics(dxFOBlabel->font()).horizontalAdvance(" x -888.8 y -888.8 z -888.8 d 8888.8"));
  bar->addWidget(dxFOBlabel, 1);

  for (TSpinEdit* e : {XEdit, YEdit, ZEdit, desirex, desirey, desirez})
    connect(e, &QSpinBox::valueChanged, this, [this] { XEditChange(); });

  outer->addWidget(tableArea, 1);
  outer->addWidget(TrackPanel, 1);
  outer->addWidget(ToolBar2);
  setCentralWidget(central);
}

void TRegForm::BuildMenus() {
  QMenuBar* bar = menuBar();
  auto add = [this](QMenu* menu, const char* name, const QString& text, QKeySequence key,
                    std::function<void()> handler) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    if (!key.isEmpty()) a->setShortcut(key);
    // Menu shortcuts work in both views, also while the buttons are hidden.
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, [handler] { handler(); });
    addAction(a);
    return a;
  };

  QMenu* file = bar->addMenu("&File");
  Open1 = add(file, "Open1", "Open calibration", QKeySequence("Ctrl+O"), [this] { OPenBtn->click(); });
  Save1 = add(file, "Save1", "Save calibration", QKeySequence("Ctrl+S"), [this] { SaveBtn->click(); });
  file->addSeparator();
  Exit1 = add(file, "Exit1", "Exit", {}, [this] { Exit1Click(); });

  QMenu* position = bar->addMenu("&Position");
  AddMRI1 = add(position, "AddMRI1", "Add Row [MRI+FOB]", QKeySequence(Qt::Key_F1),
                [this] { AddMRI1Click(); });
  AddRowMRIFOB1 = add(position, "AddRowMRIFOB1", "Delete Row [MRI+FOB]", QKeySequence(Qt::Key_F2),
                      [this] { AddRowMRIFOB1Click(); });
  ResampleMRI1 = add(position, "ResampleMRI1", "Resample MRI", QKeySequence(Qt::Key_F3),
                     [this] { ResampleMRI1Click(0); });
  ResampleFOB1 = add(position, "ResampleFOB1", "Resample FOB", QKeySequence(Qt::Key_F4),
                     [this] { ResampleMRI1Click(1); });

  QMenu* mode = bar->addMenu("&Mode");
  CalibrateItem = add(mode, "CalibrateItem", "Switch betwen Calibrate and Track",
                      QKeySequence(Qt::Key_F5), [this] { ModeClick(); });
  // A radio item whose check mark never changes.
  CalibrateItem->setCheckable(true);
  CalibrateItem->setChecked(true);
  connect(CalibrateItem, &QAction::toggled, this, [this](bool) {
    QSignalBlocker b(CalibrateItem);
    CalibrateItem->setChecked(true);
  });

  QMenu* trackerMenu = bar->addMenu("&Tracker");
  Type1 = trackerMenu->addMenu("Type");
  Type1->setObjectName("Type1");
  typeGroup_ = new QActionGroup(this);
  auto addType = [&](const char* name, const char* text, int tag) {
    QAction* a = Type1->addAction(text);
    a->setObjectName(name);
    a->setData(tag);
    a->setCheckable(true);
    a->setActionGroup(typeGroup_);
    connect(a, &QAction::triggered, this, [this, a] { Fast1Click(a); });
    return a;
  };
  FlockofBirdsMiniBird1 = addType("FlockofBirdsMiniBird1", "Flock of Birds/MiniBird Point", 0);
  FlockofBirdsMiniBirdStream1 =
      addType("FlockofBirdsMiniBirdStream1", "Flock of Birds/MiniBird Stream", 1);
  Fast1 = addType("Fast1", "Fastrak", 2);
  typeChecked_ = FlockofBirdsMiniBird1;  // as designed, until the settings are read

  Connection1 = trackerMenu->addMenu("Speed");
  Connection1->setObjectName("Connection1");
  speedGroup_ = new QActionGroup(this);
  auto addSpeed = [&](const char* name, int bps) {
    QAction* a = Connection1->addAction(QString("%1 bps").arg(bps));
    a->setObjectName(name);
    a->setData(bps);
    a->setCheckable(true);
    a->setActionGroup(speedGroup_);
    connect(a, &QAction::triggered, this, [this, a] { N1152001Click(a); });
    return a;
  };
  N96001 = addSpeed("N96001", 9600);
  N192001 = addSpeed("N192001", 19200);
  N384001 = addSpeed("N384001", 38400);
  N576001 = addSpeed("N576001", 57600);
  N1152001 = addSpeed("N1152001", 115200);
  speedChecked_ = N576001;  // as designed, until the start-up checks the speed
  ApplyRadioChecks();

  PortMenu = trackerMenu->addMenu("Port");
  PortMenu->setObjectName("PortMenu");
  ResetConnectionMenu = add(trackerMenu, "ResetConnectionMenu", "Reset Connection",
                            QKeySequence(Qt::Key_F6), [this] { ResetConnectionMenuClick(); });

  QMenu* help = bar->addMenu("&Help");
  About1 = add(help, "About1", "About", {}, [this] { About1Click(); });
  AdvancedMenuItem = help->addAction("Advanced Mode");
  AdvancedMenuItem->setObjectName("AdvancedMenuItem");
  AdvancedMenuItem->setCheckable(true);  // toggles its own check mark; not stored
}

// ---------------------------------------------------------------------------
// Life cycle

void TRegForm::FormCreate() {
  // Every number the program formats or parses uses a full stop, whatever the
  // user's locale (Qt adopted the user's C locale when the application started).
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
  for (TSpinEdit* e : {XEdit, YEdit, ZEdit, desirex, desirey, desirez}) e->setLocale(QLocale::c());

  memMap_ = std::make_unique<TEMemMap>();
  try {
    if (OpenOrCreateSharedBlock(*memMap_, services_.viewerNames)) SetShareMem(1, 1, 1);
  } catch (const EMappingException& e) {
    // Start-up goes on without the viewer link; the block is then never touched.
    services_.messages->ShowError(e.what());
  }

  if (QScreen* s = QGuiApplication::primaryScreen())
    move(s->availableGeometry().center() - rect().center());
}

void TRegForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TRegForm::FormShow() {
  Table.SetHeader("MRI", "Flock of Birds");
  // Tracker preparation.
  trackerPort_ = services_.serialPort ? services_.serialPort() : nullptr;
  link_->SetPort(trackerPort_.get());
  try {
    std::unique_ptr<ISettingsStore> store = services_.settings ? services_.settings() : nullptr;
    if (store) ReadSettings(*store, Tracker);
  } catch (const std::exception& e) {
    // The tracker is then not started in this run.
    services_.messages->ShowError(e.what());
    return;
  }
  updateModeMenu();
  Timer1Tag = 666;
  Timer1.start();
}

void TRegForm::closeEvent(QCloseEvent* e) {
  QMainWindow::closeEvent(e);
  if (FOBForm) FOBForm->close();
}

void TRegForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // No tick may run once the block is gone (a message box below runs a loop).
  Timer1.stop();
  memMap_.reset();
  try {
    std::unique_ptr<ISettingsStore> store = services_.settings ? services_.settings() : nullptr;
    if (store) WriteSettings(*store, Tracker);
  } catch (const std::exception& e) {
    services_.messages->ShowError(e.what());
  }
  // The tracker is put to sleep and released also when the settings failed.
  link_->Shutdown();
  link_->SetPort(nullptr);
  trackerPort_.reset();
}

void TRegForm::Exit1Click() { close(); }

void TRegForm::About1Click() { services_.messages->ShowMessage(kAboutText); }

// ---------------------------------------------------------------------------
// Polling tick

bool TRegForm::IsCalibrateView() const { return !RegGrid->isHidden(); }

void TRegForm::Timer1Timer() {
  // Start-up stage: the first tick starts the tracker.
  if (Timer1Tag > 0) {
    Timer1Tag = 0;
    Timer1.stop();
    StartupFOB();
    return;
  }
  // Viewer-follow stage: in Calibrate view the window follows the viewer's cursor.
  if (IsCalibrateView() && memMap_) {
    TVoxel v;
    if (ReadCursorFields(*memMap_, v) && !(v == CurrentMRI)) {
      CurrentMRI = v;
      TUpdatingEdits guard(UpdatingEdits);
      SetEdits(v);
    }
  }
  // Tracker stage.
  bool reading = false;
  try {
    reading = link_->ReadFOB();
  } catch (const std::exception& e) {
    ShowTickError(e.what());
    return;
  }
  if (!reading) return;
  // Reading stage.
  TUpdatingEdits guard(UpdatingEdits);
  UpdateTrackerLabel();
  if (!IsCalibrateView()) TrackStage();
}

void TRegForm::ShowTickError(const std::string& text) {
  if (tickErrorOpen_) {
    ++suppressedErrors_;
    return;
  }
  tickErrorOpen_ = true;
  // Shown after the tick has returned, as the framework shows an error that ended a
  // handler; ticks go on while the box is open.
  QTimer::singleShot(0, this, [this, text] {
    services_.messages->ShowError(text);
    tickErrorOpen_ = false;
  });
}

void TRegForm::UpdateTrackerLabel() {
  TTrackerLabel label = TrackerLabel(TrackerReading);
  const QColor colour = label.red ? QColor(255, 0, 0) : QColor(0, 0, 0);
  // Every reading lands here, 40 times a second: repaint only what changed.
  if (dxFOBlabel->palette().color(QPalette::WindowText) != colour) {
    QPalette pal = dxFOBlabel->palette();
    pal.setColor(QPalette::WindowText, colour);
    dxFOBlabel->setPalette(pal);
  }
  dxFOBlabel->setText(QString::fromStdString(label.text));
}

void TRegForm::TrackStage() {
  CurrentMRI = MapReading(RegCoef, TrackerReading);
  SetEdits(CurrentMRI);
  SetShareMem(CurrentMRI.x, CurrentMRI.y, CurrentMRI.z);
  DistanceLabel->setText(
      QString::fromStdString(DistanceText(VoxelDistance(CurrentMRI, DesiredVoxel()))));
}

void TRegForm::SetEdits(const TVoxel& v) {
  XEdit->setValue(v.x);
  YEdit->setValue(v.y);
  ZEdit->setValue(v.z);
}

TVoxel TRegForm::DesiredVoxel() const { return {desirex->value(), desirey->value(), desirez->value()}; }

// ---------------------------------------------------------------------------
// Viewer link

void TRegForm::SetShareMem(int32_t x, int32_t y, int32_t z) {
  if (memMap_) PublishCursor(*memMap_, {x, y, z});
}

void TRegForm::XEditChange() {
  if (UpdatingEdits) return;
  CurrentMRI = {XEdit->value(), YEdit->value(), ZEdit->value()};
  SetShareMem(CurrentMRI.x, CurrentMRI.y, CurrentMRI.z);
}

// ---------------------------------------------------------------------------
// Calibration table

void TRegForm::RowCountChanged(int rowCount) {
  rebuildingGrid_ = true;
  RegGrid->setRowCount(rowCount - 1);
  rebuildingGrid_ = false;
}

void TRegForm::CellChanged(int col, int row, const std::string& text) {
  QString t = QString::fromStdString(text);
  if (row == 0) {
    auto* h = RegGrid->horizontalHeaderItem(col);
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

void TRegForm::SetMRIcell(int row, int32_t x, int32_t y, int32_t z) { Table.SetMRIcell(row, x, y, z); }

void TRegForm::SetFOBcell(int row, int32_t x, int32_t y, int32_t z) { Table.SetFOBcell(row, x, y, z); }

void TRegForm::AddBtnClick() {
  if (Table.Add(CurrentMRI, TrackerReading) == TCalibTable::TAddResult::Full)
    services_.messages->ShowMessage(kFullMessage);
}

void TRegForm::DeleteBtnClick() {
  int top = SelectionTop();
  if (top < 1) top = 1;  // no selection: the grid's current cell is row 1
  Table.Delete(top);
}

void TRegForm::ResampleMRI1Click(int tag) {
  int row = SelectionTop();
  if (row < 1) return;
  if (tag == 1)
    Table.ResampleFOB(row, TrackerReading);
  else
    Table.ResampleMRI(row, CurrentMRI);
}

void TRegForm::AddMRI1Click() { AddBtn->click(); }

void TRegForm::AddRowMRIFOB1Click() { DeleteBtn->click(); }

int TRegForm::SelectionTop() const {
  int top = INT_MAX;
  for (const QTableWidgetSelectionRange& r : RegGrid->selectedRanges()) top = std::min(top, r.topRow());
  if (top == INT_MAX) top = RegGrid->currentRow();
  return top < 0 ? 0 : top + 1;
}

int TRegForm::SelectionLeft() const {
  int left = INT_MAX;
  for (const QTableWidgetSelectionRange& r : RegGrid->selectedRanges())
    left = std::min(left, r.leftColumn());
  if (left == INT_MAX) left = RegGrid->currentColumn();
  return left < 0 ? 0 : left;
}

void TRegForm::RegGridChangeRow(int row) {
  if (row < 1 || row >= Table.RowCount()) return;
  const TPointPair& p = PointTable[row];
  // Each edit that changes raises its own change event: the viewer may see up to
  // three successive points, the last one complete.
  XEdit->setValue(p.MRIx);
  YEdit->setValue(p.MRIy);
  ZEdit->setValue(p.MRIz);
}

void TRegForm::RegGridSelectCell(int, int arow) { RegGridChangeRow(arow); }

void TRegForm::RegGridDblClick() {
  int top = SelectionTop();
  if (SelectionLeft() == 0 && top > 0) RegGridChangeRow(top);
}

bool TRegForm::RegGridKeyDown(int key) {
  switch (key) {
    case Qt::Key_Period:
      ResampleFOB1->trigger();
      return true;
    case Qt::Key_Escape:
      QueryOrSampleBtn->click();
      return true;
    default:
      return false;
  }
}

bool TRegForm::eventFilter(QObject* watched, QEvent* e) {
  if (watched == RegGrid && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    // Page Down and Page Up move one row, not one page.
    if (k->key() == Qt::Key_PageDown || k->key() == Qt::Key_PageUp) {
      QKeyEvent arrow(QEvent::KeyPress, k->key() == Qt::Key_PageDown ? Qt::Key_Down : Qt::Key_Up,
                      k->modifiers());
      QApplication::sendEvent(RegGrid, &arrow);
      return true;
    }
    if (RegGridKeyDown(k->key())) return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------
// Calibration files

void TRegForm::SaveBtnClick() {
  TFileDialogSpec spec{"Text file (*.txt)|*.txt", services_.programDir, "txt", true};
  std::optional<std::string> path = services_.files->ChooseSave(spec);
  if (!path) return;
  std::string bytes = FormatCalibration(&PointTable[1], Table.DataRows(), DesiredVoxel());
  if (int err = WriteFileAtomically(*path, bytes)) services_.messages->ShowError(IoErrorText(err));
}

void TRegForm::OPenBtnClick() {
  TFileDialogSpec spec{"Text Files|*.txt", services_.programDir, "", false};
  std::optional<std::string> path = services_.files->ChooseOpen(spec);
  if (!path) return;
  std::string bytes;
  if (int err = ReadWholeFile(*path, bytes)) {
    services_.messages->ShowError(IoErrorText(err));
    return;
  }
  // The whole file is read before anything changes: a file that fails leaves the
  // table, the grid and the desired voxel as they were.
  TCalibration calibration;
  std::string error;
  if (!ParseCalibration(bytes, calibration, error)) {
    services_.messages->ShowError(error);
    return;
  }
  if (calibration.hasDesired) {
    // Each change republishes the current MRI point unchanged.
    desirex->setValue(calibration.desired.x);
    desirey->setValue(calibration.desired.y);
    desirez->setValue(calibration.desired.z);
  }
  Table.Load(calibration);
  // Row 1 selected, both columns, and its landmark shown in the viewer.
  RegGrid->clearSelection();
  RegGrid->setCurrentCell(0, 0);
  RegGrid->setRangeSelected(QTableWidgetSelectionRange(0, 0, 0, 1), true);
  RegGridDblClick();
}

// ---------------------------------------------------------------------------
// Views

void TRegForm::ToolbarVis() {
  for (QWidget* w : std::initializer_list<QWidget*>{CoolBar1, OPenBtn, SaveBtn, AddBtn, DeleteBtn, RegGrid})
    w->setVisible(w->isHidden());
  // The table area holds only the tool column and the grid; the Track view's
  // controls take its place.
  CoolBar1->parentWidget()->setVisible(!RegGrid->isHidden() || !CoolBar1->isHidden());
  TrackPanel->setVisible(RegGrid->isHidden());
}

void TRegForm::TableBtnClick() { ToolbarVis(); }

void TRegForm::RegBtnClick() {
  int n = Table.DataRows();
  std::vector<std::string> list;
  if (FitRegistration(n, list, *services_.messages)) ToolbarVis();
  if (FOBForm) FOBForm->SetLines(list);
  QString formula = QString::fromStdString(FormulaText(RegCoef));
  formula.replace('\r', '\n');
  FormulaLabel->setText(formula);
}

void TRegForm::QueryOrSampleBtnClick() {
  if (IsCalibrateView())
    RegBtnClick();
  else
    TableBtnClick();
  if (IsCalibrateView()) RegGrid->setFocus();
}

void TRegForm::ModeClick() { QueryOrSampleBtnClick(); }

void TRegForm::SpeedButton1Click() {
  if (FOBForm) FOBForm->exec();
}

// ---------------------------------------------------------------------------
// Tracker

void TRegForm::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
}

void TRegForm::BeginConnect() {
  if (services_.progress)
    services_.progress->Begin(
        QString("Connecting to the tracker on %1 at %2 bps ...")
            .arg(QString::fromStdString(Tracker.PortName))
            .arg(Tracker.BPS),
        static_cast<int>(kWaitBeforeExamine + kWaitForModelId + kWaitBeforeAutoConfig +
                         kWaitAfterAutoConfig));
}

void TRegForm::EndConnect() {
  if (services_.progress) services_.progress->End();
}

void TRegForm::InitFOB() { link_->InitFOB(); }

void TRegForm::InitFOBdialog() { link_->InitFOBdialog(); }

QAction* TRegForm::SpeedItem(int32_t bps) const {
  for (QAction* a : speedGroup_->actions())
    if (a->data().toInt() == bps) return a;
  return nullptr;
}

void TRegForm::ApplyRadioChecks() {
  for (QAction* a : typeGroup_->actions()) a->setChecked(a == typeChecked_);
  for (QAction* a : speedGroup_->actions()) a->setChecked(a == speedChecked_);
}

void TRegForm::StartupFOB() {
  std::string message;
  if (CheckSpeed(Tracker, message)) {
    speedChecked_ = SpeedItem(Tracker.BPS);
    ApplyRadioChecks();
  } else {
    services_.messages->ShowMessage(message);
    speedChecked_ = N1152001;
    ApplyRadioChecks();
  }
  std::vector<std::string> ports = services_.ports ? services_.ports->ListSerialPorts()
                                                   : std::vector<std::string>{};
  if (ports.empty()) {
    services_.messages->ShowMessage(kNoSerialPortsMessage);
  } else {
    for (const TPortMenuItem& item : ChoosePort(Tracker, ports)) {
      // A port item toggles its own check mark and does nothing else.
      QAction* a = PortMenu->addAction(QString::fromStdString(item.caption));
      a->setCheckable(true);
      a->setChecked(item.checked);
    }
    InitFOB();
  }
  Timer1.start();
}

void TRegForm::updateModeMenu() {
  typeChecked_ = Tracker.IsFastrak     ? Fast1
                 : Tracker.IsStreaming ? FlockofBirdsMiniBirdStream1
                                       : FlockofBirdsMiniBird1;
  ApplyRadioChecks();
}

void TRegForm::Fast1Click(QAction* item) {
  // Qt has already moved the check mark; the handler decides where it belongs.
  ApplyRadioChecks();
  if (!AdvancedMenuItem->isChecked()) {
    services_.messages->ShowMessage(kTypeRefusedMessage);
    return;
  }
  int tag = item->data().toInt();
  Tracker.IsFastrak = tag == 2;
  Tracker.IsStreaming = tag == 1;
  updateModeMenu();
  InitFOBdialog();
}

void TRegForm::N1152001Click(QAction* item) {
  ApplyRadioChecks();
  int tag = item->data().toInt();
  if (tag != Tracker.BPS) {
    if (AdvancedMenuItem->isChecked()) {
      Tracker.BPS = tag;
      speedChecked_ = item;
      ApplyRadioChecks();
    } else {
      services_.messages->ShowMessage(kSpeedRefusedMessage);
    }
  }
  InitFOBdialog();
}

void TRegForm::ResetConnectionMenuClick() { InitFOBdialog(); }
