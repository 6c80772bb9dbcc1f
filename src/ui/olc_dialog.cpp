#include "ui/olc_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace skylode {

namespace {

constexpr int kRefreshMs = 200;

QLineEdit* AddField(QFormLayout* form, const char* label, const char* name,
                    const std::string& text) {
  auto* edit = new QLineEdit(QString::fromStdString(text));
  edit->setObjectName(name);
  edit->setMaxLength(static_cast<int>(kOlcFieldMax));
  form->addRow(label, edit);
  return edit;
}

}  // namespace

OlcDialog::OlcDialog(QWidget* parent, OlcSession& session) : QDialog(parent), session_(session) {
  setWindowTitle("OLC statistics");
  auto* layout = new QVBoxLayout(this);

  results_ = new QPlainTextEdit;
  results_->setObjectName("results");
  results_->setReadOnly(true);
  results_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  results_->setMinimumSize(640, 320);
  layout->addWidget(results_);

  // The exact scores the contest servers will give, beside the optimisation
  // above, which follows the OLC's own rules.
  contest_ = new QLabel("Contest scores: computing...");
  contest_->setObjectName("contestScores");
  contest_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(contest_);

  auto* state = new QFormLayout;
  status_ = new QLabel;
  status_->setObjectName("status");
  progress_ = new QLabel;
  progress_->setObjectName("progress");
  state->addRow("Status", status_);
  state->addRow("Progress", progress_);
  layout->addLayout(state);

  const OlcForm initial = session.InitialForm();
  auto* fields = new QFormLayout;
  firstName_ = AddField(fields, "&First name", "firstName", initial.pilot.firstName);
  lastName_ = AddField(fields, "&Last name", "lastName", initial.pilot.lastName);
  birthDate_ = AddField(fields, "&Birth date (dd.mm.yy)", "birthDate", initial.pilot.birthDate);
  gliderClass_ = new QComboBox;
  gliderClass_->setObjectName("gliderClass");
  for (const char* c : kOlcGliderClasses) gliderClass_->addItem(c);
  gliderClass_->setCurrentIndex(initial.pilot.gliderClass - 1);
  fields->addRow("&Class", gliderClass_);
  gliderType_ = AddField(fields, "&Glider type", "gliderType", initial.pilot.gliderType);
  callSign_ = AddField(fields, "Call si&gn", "callSign", initial.pilot.callSign);
  startPlace_ = AddField(fields, "S&tart place", "startPlace", initial.pilot.startPlace);
  region_ = new QComboBox;
  region_->setObjectName("region");
  int regionRow = 0;
  for (size_t i = 0; i < kOlcRegions.size(); ++i) {
    region_->addItem(kOlcRegions[i].text, QString(kOlcRegions[i].code));
    if (initial.pilot.region == kOlcRegions[i].code) regionRow = static_cast<int>(i);
  }
  region_->setCurrentIndex(regionRow);
  fields->addRow("&Region", region_);
  flightNumber_ = AddField(fields, "Flight &number", "flightNumber", initial.flightNumber);
  flightNumber_->setMaxLength(2);
  longFileName_ = new QCheckBox("Long file&name");
  longFileName_->setObjectName("longFileName");
  longFileName_->setChecked(initial.longFileName);
  fields->addRow("", longFileName_);
  layout->addLayout(fields);

  auto* buttons = new QDialogButtonBox;
  auto* halt = buttons->addButton("&Halt", QDialogButtonBox::ActionRole);
  halt->setObjectName("halt");
  auto* saveOlc = buttons->addButton("Save &OLC only", QDialogButtonBox::ActionRole);
  saveOlc->setObjectName("saveOlc");
  auto* saveIgc = buttons->addButton("&Save with IGC", QDialogButtonBox::ActionRole);
  saveIgc->setObjectName("saveIgc");
  auto* exit = buttons->addButton("E&xit", QDialogButtonBox::RejectRole);
  exit->setObjectName("exit");
  connect(halt, &QPushButton::clicked, this, [this] {
    session_.Halt();
    Refresh();
  });
  connect(saveOlc, &QPushButton::clicked, this, [this] {
    Refresh();
    session_.Save(Form(), false);
  });
  connect(saveIgc, &QPushButton::clicked, this, [this] {
    Refresh();
    session_.Save(Form(), true);
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &OlcDialog::Refresh);
  timer_->start(kRefreshMs);
  Refresh();
}

void OlcDialog::Refresh() {
  status_->setText(QString::fromStdString(session_.StatusText()));
  progress_->setText(QString::fromStdString(session_.ProgressText()));
  if (!shown_ && session_.ResultsReady()) {
    shown_ = true;
    results_->setPlainText(QString::fromStdString(session_.ResultText()));
  }
  if (!contestShown_) {
    const std::string contest = session_.ContestText();
    if (!contest.empty()) {
      contestShown_ = true;
      contest_->setText(QString::fromStdString(contest).trimmed());
    }
  }
  if ((shown_ || session_.halted()) && contestShown_) timer_->stop();
}

OlcForm OlcDialog::Form() const {
  OlcForm f;
  f.pilot.firstName = firstName_->text().toStdString();
  f.pilot.lastName = lastName_->text().toStdString();
  f.pilot.birthDate = birthDate_->text().toStdString();
  f.pilot.gliderType = gliderType_->text().toStdString();
  f.pilot.callSign = callSign_->text().toStdString();
  f.pilot.startPlace = startPlace_->text().toStdString();
  f.pilot.gliderClass = gliderClass_->currentIndex() + 1;
  f.pilot.region =
      region_->currentIndex() >= 0 ? region_->currentData().toString().toStdString() : "?";
  f.flightNumber = flightNumber_->text().toStdString();
  f.longFileName = longFileName_->isChecked();
  return f;
}

void OlcDialog::done(int result) {
  timer_->stop();
  session_.Halt();
  QDialog::done(result);
}

void RunOlcDialog(QWidget* parent, OlcSession& session) {
  OlcDialog dialog(parent, session);
  dialog.exec();
}

}  // namespace skylode
