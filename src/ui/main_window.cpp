#include "ui/main_window.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/menu_table.h"
#include "shell/interface/row_text.h"
#include "ui/dialogs.h"
#include "ui/list_model.h"

namespace skylode {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QLabel* LineLabel(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  l->setMinimumWidth(200);
  l->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  return l;
}

}  // namespace

MainWindow::MainWindow(AppState& app, QWidget* parent) : QMainWindow(parent), app_(app) {
  setObjectName(QStringLiteral("Skylode"));
  BuildMenus();
  BuildCentre();
  UpdateCommands();
  SetListSize(ListSize::kDefault);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus() {
  for (const Menu& menu : MainMenus()) {
    QMenu* m = menuBar()->addMenu(Q(menu.title));
    for (const MenuItem& item : menu.items) {
      if (item.id == 0) {
        m->addSeparator();
        continue;
      }
      QAction* a = m->addAction(Q(item.text));
      a->setData(item.id);
      if (!item.shortcut.empty()) a->setShortcut(QKeySequence(Q(item.shortcut)));
      a->setCheckable(item.checkable);
      const int id = item.id;
      connect(a, &QAction::triggered, this, [this, id] { Run(id); });
      actions_.emplace(id, a);
    }
    // Availability may change with what the window holds; look again as the
    // menu opens.
    connect(m, &QMenu::aboutToShow, this, &MainWindow::UpdateCommands);
  }
  // Shortcuts without a menu entry live on the window itself.
  for (const ExtraShortcut& extra : ExtraShortcuts()) {
    auto* a = new QAction(this);
    a->setShortcut(QKeySequence(Q(extra.shortcut)));
    a->setData(extra.id);
    const int id = extra.id;
    connect(a, &QAction::triggered, this, [this, id] { Run(id); });
    addAction(a);
    actions_.emplace(id, a);
  }
}

void MainWindow::BuildCentre() {
  auto* centre = new QWidget(this);
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(10, 8, 10, 10);
  layout->setSpacing(8);

  product_ = LineLabel(centre);
  status_ = LineLabel(centre);
  auto* lines = new QGridLayout;
  lines->setHorizontalSpacing(8);
  lines->setVerticalSpacing(4);
  lines->addWidget(new QLabel(QStringLiteral("Product:"), centre), 0, 0);
  lines->addWidget(product_, 0, 1);
  lines->addWidget(new QLabel(QStringLiteral("Status:"), centre), 1, 0);
  lines->addWidget(status_, 1, 1);
  lines->setColumnStretch(1, 1);
  layout->addLayout(lines);

  model_ = new ListModel(app_, this);
  table_ = new QTableView(centre);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->setShowGrid(false);
  table_->setCornerButtonEnabled(false);
  table_->verticalHeader()->hide();
  // Fixed row heights: the view then never measures rows, which keeps a
  // million-point log as quick to scroll as a short one.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(false);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table_->horizontalHeader()->setHighlightSections(false);
  layout->addWidget(table_, 1);

  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(12);
  auto* instruments = new QGroupBox(QStringLiteral("Read track log"), centre);
  auto* grid = new QGridLayout(instruments);
  grid->setSpacing(6);
  int n = 0;
  QPushButton* saveButton = nullptr;
  QPushButton* exitButton = nullptr;
  for (const ButtonEntry& entry : MainButtons()) {
    auto* b = new QPushButton(Q(entry.text), centre);
    b->setAutoDefault(false);
    const int id = entry.id;
    connect(b, &QPushButton::clicked, this, [this, id] { Run(id); });
    buttons_[id] = b;
    if (id == cmd::kSaveLogButton) {
      saveButton = b;
    } else if (id == cmd::kExit) {
      exitButton = b;
    } else {
      grid->addWidget(b, n / 4, n % 4);
      ++n;
    }
  }
  bottom->addWidget(instruments, 1);

  auto* side = new QGridLayout;
  side->setSpacing(6);
  utm_ = new QCheckBox(QStringLiteral("UTM"), centre);
  connect(utm_, &QCheckBox::toggled, this, [this](bool on) {
    if (!app_.SetUtmDisplay(on)) {
      const QSignalBlocker block(utm_);
      utm_->setChecked(!on);
    }
    UpdateCommands();
  });
  abort_ = new QPushButton(QStringLiteral("Abort transfer"), centre);
  abort_->setAutoDefault(false);
  connect(abort_, &QPushButton::clicked, this, [this] {
    app_.AbortButton();
    UpdateCommands();
  });
  if (saveButton) side->addWidget(saveButton, 0, 0);
  side->addWidget(utm_, 0, 1);
  side->addWidget(abort_, 1, 0);
  if (exitButton) side->addWidget(exitButton, 1, 1);
  auto* sideBox = new QVBoxLayout;
  sideBox->addStretch(1);
  sideBox->addLayout(side);
  bottom->addLayout(sideBox);
  layout->addLayout(bottom);
  setCentralWidget(centre);
}

QAction* MainWindow::action(int commandId) const {
  auto it = actions_.find(commandId);
  return it == actions_.end() ? nullptr : it->second;
}

std::vector<QAction*> MainWindow::actions(int commandId) const {
  std::vector<QAction*> out;
  auto [lo, hi] = actions_.equal_range(commandId);
  for (auto it = lo; it != hi; ++it) out.push_back(it->second);
  return out;
}

QPushButton* MainWindow::button(int commandId) const {
  auto it = buttons_.find(commandId);
  return it == buttons_.end() ? nullptr : it->second;
}

void MainWindow::Run(int commandId) {
  if (closing_) return;
  app_.RunCommand(commandId);
  if (app_.exited()) {
    close();
    return;
  }
  UpdateCommands();
}

void MainWindow::UpdateCommands() {
  for (auto& [id, a] : actions_) {
    const MenuItem* item = FindMenuItem(id);
    a->setEnabled(!(item && item->alwaysDisabled) && app_.IsCommandAvailable(id));
    if (a->isCheckable()) a->setChecked(app_.IsCommandChecked(id));
  }
  for (auto& [id, b] : buttons_) b->setEnabled(app_.IsCommandAvailable(id));
  abort_->setEnabled(app_.transferBusy());
}

void MainWindow::SetStatusLine(const QString& text) {
  status_->setText(text);
  abort_->setEnabled(app_.transferBusy());
}

void MainWindow::SetProductLine(const QString& text) { product_->setText(text); }

void MainWindow::ApplyColumnWidths() {
  // Widths are counted in characters of the list's texts, which are mostly
  // digits: a digit's width, not the font's average, keeps "2026-07-14" whole.
  const QFontMetrics metrics = table_->fontMetrics();
  const int charWidth = std::max({metrics.averageCharWidth(), metrics.horizontalAdvance(QLatin1Char('0')), 1});
  const auto cols = ColumnsOf(model_->view(), model_->utm());
  for (size_t i = 0; i < cols.size(); ++i)
    table_->setColumnWidth(static_cast<int>(i), cols[i].width * charWidth + 12);
}

void MainWindow::ShowView(ViewMode view, bool utm, int rowCount) {
  model_->Show(view, utm, rowCount);
  ApplyColumnWidths();
  // The box follows the shell, which may switch UTM on its own (start-up).
  if (utm_->isChecked() != utm) {
    const QSignalBlocker block(utm_);
    utm_->setChecked(utm);
  }
  table_->scrollToTop();
  abort_->setEnabled(app_.transferBusy());
}

void MainWindow::RefreshList(ViewMode view, int rowCount) {
  if (view != model_->view()) return;
  model_->Refresh(rowCount);
  abort_->setEnabled(app_.transferBusy());
}

std::vector<int32_t> MainWindow::SelectedRows(ViewMode view) const {
  std::vector<int32_t> rows;
  if (view != model_->view()) return rows;
  // Ranges, not indexes: a selected million-point log is one range.
  const QItemSelection selection = table_->selectionModel()->selection();
  for (const QItemSelectionRange& range : selection) {
    for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void MainWindow::SelectRows(ViewMode view, const std::vector<int32_t>& rows) {
  if (view != model_->view()) return;
  std::vector<int32_t> sorted = rows;
  std::sort(sorted.begin(), sorted.end());
  QItemSelection selection;
  const int last = model_->columnCount() - 1;
  for (size_t i = 0; i < sorted.size();) {
    size_t j = i;
    while (j + 1 < sorted.size() && sorted[j + 1] <= sorted[j] + 1) ++j;
    if (sorted[i] >= 0 && sorted[j] < model_->rowCount())
      selection.append(QItemSelectionRange(model_->index(sorted[i], 0), model_->index(sorted[j], last)));
    i = j + 1;
  }
  table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int MainWindow::ListHeightFor(ListSize size) const {
  // Dialog units: an eighth of the font's height.
  const int unit = fontMetrics().height();
  switch (size) {
    case ListSize::kSmall: return 200 * unit / 8;
    case ListSize::kDefault: return 310 * unit / 8;
    case ListSize::kLarge: break;
  }
  const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  const int available = s ? s->availableGeometry().height() : 1000;
  const int frame = frameGeometry().height() - height();
  const int rest = (isVisible() ? height() : sizeHint().height()) - table_->height();
  return std::max(available - frame - rest, 200 * unit / 8);
}

void MainWindow::SetListSize(ListSize size) {
  listSize_ = size;
  // The window grows or shrinks around the list and keeps its place; the
  // lists and the selection stay as they are.
  const int target = ListHeightFor(size);
  table_->setMinimumHeight(target);
  centralWidget()->layout()->activate();
  const int wanted = std::max(sizeHint().height(), minimumSizeHint().height());
  resize(std::max(width(), sizeHint().width()), wanted);
  table_->setMinimumHeight(120);
}

void MainWindow::SetChecked(int commandId, bool checked) {
  for (QAction* a : actions(commandId)) a->setChecked(checked);
}

void MainWindow::ShowTrackWindow(TrackViewWindow* window) {
  if (trackWindow_) {
    trackWindow_->close();
    trackWindow_->deleteLater();
  }
  trackWindow_ = window;
  if (!window) return;
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  window->raise();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    if (!app_.exited()) app_.Exit();
    if (trackWindow_) trackWindow_->close();
  }
  event->accept();
  QApplication::quit();
}

}  // namespace skylode
