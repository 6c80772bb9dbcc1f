#include "ui/competition_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace skylode {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace

std::optional<bool> RunCompetitionModeDialog(QWidget* parent, const CompetitionModeRequest& request) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Competition Mode");
  auto* layout = new QVBoxLayout(&dialog);
  auto* enabled = new QCheckBox("Enable competition mode");
  enabled->setObjectName("enabled");
  enabled->setChecked(request.enabled);
  layout->addWidget(enabled);

  auto* pilotsRow = new QHBoxLayout;
  auto* readList = new QPushButton("Read pilot list");
  readList->setObjectName("readPilotList");
  auto* pilots = new QLabel(Q(request.pilotsText));
  pilots->setObjectName("pilots");
  pilotsRow->addWidget(readList);
  pilotsRow->addWidget(pilots, 1);
  layout->addLayout(pilotsRow);

  auto* timesRow = new QHBoxLayout;
  auto* setTimes = new QPushButton("Set comp. time");
  setTimes->setObjectName("setTimes");
  auto* times = new QVBoxLayout;
  auto* start = new QLabel(Q(request.startText));
  start->setObjectName("start");
  auto* stop = new QLabel(Q(request.stopText));
  stop->setObjectName("stop");
  times->addWidget(start);
  times->addWidget(stop);
  timesRow->addWidget(setTimes);
  timesRow->addLayout(times, 1);
  layout->addLayout(timesRow);

  QObject::connect(readList, &QPushButton::clicked, &dialog, [&] {
    if (request.readPilotList) pilots->setText(Q(request.readPilotList()));
  });
  QObject::connect(setTimes, &QPushButton::clicked, &dialog, [&] {
    if (!request.setTimes) return;
    const auto [startText, stopText] = request.setTimes();
    start->setText(Q(startText));
    stop->setText(Q(stopText));
  });
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return enabled->isChecked();
}

std::optional<CompetitionTimesForm> RunCompetitionTimesDialog(QWidget* parent, const CompetitionTimesForm& initial) {
  QDialog dialog(parent);
  dialog.setWindowTitle("Set Competition Times");
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("UTC date and times, format YYYY-MM-DD HH:MM:SS, blank to skip"));
  auto* form = new QFormLayout;
  auto* start = new QLineEdit(Q(initial.start));
  start->setObjectName("start");
  start->setMaxLength(40);
  auto* stop = new QLineEdit(Q(initial.stop));
  stop->setObjectName("stop");
  stop->setMaxLength(40);
  form->addRow("Start", start);
  form->addRow("Stop", stop);
  layout->addLayout(form);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return CompetitionTimesForm{start->text().toStdString(), stop->text().toStdString()};
}

std::optional<IdentifyPilotForm> RunIdentifyPilotDialog(QWidget* parent, const IdentifyPilotRequest& request) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(request.title));
  auto* layout = new QVBoxLayout(&dialog);
  const bool upload = request.selectForUpload;
  if (upload) {
    auto* text = new QLabel("Running in competition mode. Type your CIVL and/or pilot ID, or select from a list.");
    text->setWordWrap(true);
    layout->addWidget(text);
  }
  auto* form = new QFormLayout;
  auto* comp = new QLineEdit(Q(request.initial.pilot.compId));
  comp->setObjectName("compId");
  comp->setMaxLength(10);
  auto* civl = new QLineEdit(Q(request.initial.pilot.civlId));
  civl->setObjectName("civlId");
  civl->setMaxLength(10);
  auto* name = new QLineEdit(Q(request.initial.pilot.name));
  name->setObjectName("pilotName");
  name->setMaxLength(static_cast<int>(kCheckInPilotNameMax));
  auto* dash = new QCheckBox("-NNN");
  dash->setObjectName("dashId");
  dash->setChecked(request.initial.dashId);
  if (upload) form->addRow(new QLabel("Pilot ID(s) to be uploaded as waypoint(s):"));
  form->addRow(upload ? "COMPID" : "COMP ID", comp);
  form->addRow(upload ? "CIVLID" : "CIVL ID", civl);
  form->addRow("Pilot name", name);
  form->addRow(dash);
  // One layout for both dialogs: the rows the other one needs are hidden.
  form->setRowVisible(name, !upload);
  form->setRowVisible(dash, upload);

  auto* listRow = new QHBoxLayout;
  auto* listFile = new QLineEdit(Q(request.pilotListFile));
  listFile->setObjectName("pilotListFile");
  listFile->setReadOnly(true);
  auto* browseList = new QPushButton("Browse...");
  browseList->setObjectName("browsePilotList");
  listRow->addWidget(listFile, 1);
  listRow->addWidget(browseList);
  form->addRow("Pilot list", listRow);

  auto* pilots = new QComboBox;
  pilots->setObjectName("pilots");
  auto fillPilots = [pilots](const std::vector<std::string>& rows, int selected) {
    const QSignalBlocker quiet(pilots);
    pilots->clear();
    for (const std::string& row : rows) pilots->addItem(Q(row));
    pilots->setEnabled(!rows.empty());
    pilots->setCurrentIndex(selected);
  };
  fillPilots(request.pilotRows, request.initial.pilot.row);
  form->addRow(request.pilotRows.empty()
                   ? QString("Select pilot from list")
                   : QString("Select pilot from list (%1 pilots)").arg(request.pilotRows.size()),
               pilots);

  auto* folderRow = new QHBoxLayout;
  auto* folder = new QLineEdit(Q(request.initial.folder));
  folder->setObjectName("folder");
  auto* browseFolder = new QPushButton("Browse...");
  browseFolder->setObjectName("browseFolder");
  folderRow->addWidget(folder, 1);
  folderRow->addWidget(browseFolder);
  form->addRow("Track log folder", folderRow);
  if (upload) form->setRowVisible(form->rowCount() - 1, false);
  layout->addLayout(form);

  auto current = [&]() {
    PilotFields f;
    f.compId = comp->text().toStdString();
    f.civlId = civl->text().toStdString();
    f.name = name->text().toStdString();
    f.row = pilots->currentIndex();
    return f;
  };
  // Filling the fields must not count as editing them.
  auto show = [&](const PilotFields& f) {
    const QSignalBlocker a(comp), b(civl), c(name), d(pilots);
    comp->setText(Q(f.compId));
    civl->setText(Q(f.civlId));
    name->setText(Q(f.name));
    pilots->setCurrentIndex(f.row);
  };
  QObject::connect(pilots, &QComboBox::currentIndexChanged, &dialog, [&](int row) {
    if (row >= 0 && request.pilotChosen) show(request.pilotChosen(row));
  });
  auto edited = [&](bool compEdited) {
    if (!request.idEdited) return;
    if (const auto f = request.idEdited(current(), compEdited)) show(*f);
  };
  QObject::connect(comp, &QLineEdit::textEdited, &dialog, [&] { edited(true); });
  QObject::connect(civl, &QLineEdit::textEdited, &dialog, [&] { edited(false); });
  QObject::connect(browseList, &QPushButton::clicked, &dialog, [&] {
    if (!request.browsePilotList) return;
    if (const auto read = request.browsePilotList()) {
      fillPilots(read->first, -1);
      listFile->setText(Q(read->second));
    }
  });
  QObject::connect(browseFolder, &QPushButton::clicked, &dialog, [&] {
    if (!request.browseFolder) return;
    if (const auto chosen = request.browseFolder(folder->text().toStdString())) folder->setText(Q(*chosen));
  });

  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return IdentifyPilotForm{current(), folder->text().toStdString(), dash->isChecked()};
}

}  // namespace skylode
