#include "ui/statistics_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "shell/commands/analysis_commands.h"

namespace skylode {

namespace {

constexpr int kRefreshMs = 100;

QLabel* AddValue(QFormLayout* form, const char* label, const char* name, const std::string& text) {
  auto* value = new QLabel(QString::fromStdString(text));
  value->setObjectName(name);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  form->addRow(label, value);
  return value;
}

}  // namespace

FlightStatisticsDialog::FlightStatisticsDialog(QWidget* parent, FlightStatisticsSession& session)
    : QDialog(parent), session_(session) {
  setWindowTitle("Flight statistics");
  auto* layout = new QVBoxLayout(this);
  auto* figures = new QFormLayout;
  layout->addLayout(figures);
  const StatisticsTexts& t = session.texts();
  AddValue(figures, "Date (UTC)", "date", t.date);
  AddValue(figures, "Start / Finish (UTC)", "startFinish", t.start + "   " + t.finish);
  AddValue(figures, "Duration (hh:mm:ss)", "duration", t.duration);
  AddValue(figures, "Max./ min. height", "height", t.maxHeight + "   " + t.minHeight);
  AddValue(figures, "Max. mean/top speed", "speed", t.maxMeanSpeed + "   " + t.topSpeed);
  AddValue(figures, "Total distance", "distance", t.totalDistance);
  for (size_t i = 0; i < trips_.size(); ++i) {
    trips_[i] = AddValue(figures, kTripLabels[i], ("trip" + std::to_string(i)).c_str(), "");
  }
  for (ContestRules r : kContestRules) {
    const std::string name(ContestRulesName(r));
    contest_[static_cast<size_t>(r)] = AddValue(figures, ("Contest score, " + name).c_str(), ("contest" + name).c_str(), "");
  }
  status_ = AddValue(figures, "Status", "status", "");

  layout->addWidget(new QLabel("&Log description (max. 8000 chars.):"));
  description_ = new QPlainTextEdit;
  description_->setObjectName("description");
  layout->addWidget(description_);
  // The description is cut here as it is typed, so what is saved is what is seen.
  connect(description_, &QPlainTextEdit::textChanged, this, [this] {
    const QString text = description_->toPlainText();
    if (text.size() > static_cast<int>(kLogDescriptionMax)) {
      description_->setPlainText(text.left(static_cast<int>(kLogDescriptionMax)));
      description_->moveCursor(QTextCursor::End);
    }
  });

  auto* buttons = new QDialogButtonBox;
  auto* halt = buttons->addButton("&Halt computation", QDialogButtonBox::ActionRole);
  halt->setObjectName("halt");
  auto* save = buttons->addButton("&Save", QDialogButtonBox::ActionRole);
  save->setObjectName("save");
  auto* exit = buttons->addButton("E&xit", QDialogButtonBox::RejectRole);
  exit->setObjectName("exit");
  connect(halt, &QPushButton::clicked, this, [this] {
    session_.Halt();
    Refresh();
  });
  connect(save, &QPushButton::clicked, this, [this] {
    Refresh();
    session_.Save(description().toStdString());
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &FlightStatisticsDialog::Refresh);
  timer_->start(kRefreshMs);
  Refresh();
}

void FlightStatisticsDialog::Refresh() {
  session_.Poll();
  status_->setText(QString::fromStdString(session_.StatusText()));
  if (auto texts = session_.TripTexts()) {
    for (size_t i = 0; i < trips_.size(); ++i) trips_[i]->setText(QString::fromStdString((*texts)[i]));
  }
  const auto contest = session_.ContestTexts();
  if (contest) {
    // Each label already says which rules it is for; the line's own lead is left off.
    for (size_t i = 0; i < contest_.size(); ++i) {
      const std::string& text = (*contest)[i];
      const size_t colon = text.find(": ");
      contest_[i]->setText(QString::fromStdString(colon == std::string::npos ? text : text.substr(colon + 2)));
    }
  }
  if (session_.Finished() && contest) timer_->stop();
}

QString FlightStatisticsDialog::description() const { return description_->toPlainText(); }

void FlightStatisticsDialog::done(int result) {
  timer_->stop();
  // The search is halted before the window goes; the shell lets it go after.
  session_.Close();
  QDialog::done(result);
}

void RunFlightStatisticsDialog(QWidget* parent, FlightStatisticsSession& session) {
  FlightStatisticsDialog dialog(parent, session);
  dialog.exec();
}

ExistingFileAnswer AskExistingFileBox(QWidget* parent, std::string_view path) {
  QMessageBox box(parent);
  box.setWindowTitle("File already exists");
  box.setIcon(QMessageBox::Question);
  box.setText(QString::fromUtf8(path.data(), static_cast<int>(path.size())));
  auto* append = box.addButton("&Append", QMessageBox::AcceptRole);
  auto* overwrite = box.addButton("&Overwrite", QMessageBox::DestructiveRole);
  auto* cancel = box.addButton("&Cancel", QMessageBox::RejectRole);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == append) return ExistingFileAnswer::kAppend;
  if (box.clickedButton() == overwrite) return ExistingFileAnswer::kOverwrite;
  return ExistingFileAnswer::kCancel;
}

}  // namespace skylode
