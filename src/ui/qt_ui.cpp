#include "ui/qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>

#include "ui/competition_dialogs.h"
#include "ui/ctr_dialogs.h"
#include "ui/dialogs.h"
#include "ui/family_form_dialog.h"
#include "ui/igc_dialogs.h"
#include "ui/rotate_dialog.h"
#include "ui/statistics_dialog.h"
#include "ui/main_window.h"

namespace skylode {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QMessageBox::Icon IconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kNone: return QMessageBox::NoIcon;
    case BoxIcon::kInformation: return QMessageBox::Information;
    case BoxIcon::kWarning: return QMessageBox::Warning;
    case BoxIcon::kError: return QMessageBox::Critical;
    case BoxIcon::kQuestion: return QMessageBox::Question;
  }
  return QMessageBox::Information;
}

QMessageBox::StandardButton ButtonOf(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::kOk: return QMessageBox::Ok;
    case MessageAnswer::kCancel: return QMessageBox::Cancel;
    case MessageAnswer::kYes: return QMessageBox::Yes;
    case MessageAnswer::kNo: return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

// "*.*" means every file to the person; on this system names need no dot.
std::string QtPattern(const std::string& pattern) { return pattern == "*.*" ? "*" : pattern; }

int FilterIndex(const std::vector<std::string>& filters, const QString& chosen) {
  for (size_t i = 0; i < filters.size(); ++i) {
    if (Q(filters[i]) == chosen) return static_cast<int>(i) + 1;
  }
  return 1;
}

QString InitialPath(const FileQuestion& q) {
  if (q.defaultName.empty()) return Q(q.folder);
  if (q.folder.empty()) return Q(q.defaultName);
  return Q(q.folder + "/" + q.defaultName);
}

}  // namespace

std::vector<std::string> FileDialogFilters(const FileQuestion& question) {
  std::vector<std::string> out;
  for (const auto& f : question.filters) {
    // Qt reads the patterns from the last parentheses, and its "*.*" would
    // miss names without a dot.
    std::string name = f.name;
    const std::string pattern = QtPattern(f.pattern);
    if (const size_t shown = name.rfind(" (" + f.pattern + ")"); shown != std::string::npos) {
      name.replace(shown, std::string::npos, " (" + pattern + ")");
    } else if (name.find('(') == std::string::npos) {
      name += " (" + pattern + ")";
    }
    out.push_back(name);
  }
  return out;
}

QtUi::QtUi() = default;
QtUi::~QtUi() = default;

std::optional<bool> QtUi::AskCompetitionMode(const CompetitionModeRequest& r) {
  return RunCompetitionModeDialog(Owner(), r);
}

std::optional<CompetitionTimesForm> QtUi::AskCompetitionTimes(const CompetitionTimesForm& f) {
  return RunCompetitionTimesDialog(Owner(), f);
}

std::optional<IdentifyPilotForm> QtUi::AskIdentifyPilot(const IdentifyPilotRequest& r) {
  return RunIdentifyPilotDialog(Owner(), r);
}

std::optional<IgcSaveForm> QtUi::AskIgcSave(const IgcSaveRequest& r) { return RunIgcSaveDialog(Owner(), r); }

std::optional<RotateTrackForm> QtUi::AskRotateTrack(const RotateTrackForm& f) {
  return RunRotateTrackDialog(Owner(), f);
}

std::optional<std::vector<std::string>> QtUi::AskForm(
    const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept) {
  return RunFamilyFormDialog(Owner(), form, accept);
}

void QtUi::ShowFlightStatistics(FlightStatisticsSession& s) { RunFlightStatisticsDialog(Owner(), s); }

ExistingFileAnswer QtUi::AskExistingFile(std::string_view p) { return AskExistingFileBox(Owner(), p); }

ModifyIdAnswer QtUi::AskModifyWaypointId(std::string_view id) {
  ModifyWaypointIdDialog dialog(id, Owner());
  // Closed without a button: the read stops, as Cancel.
  if (dialog.exec() != QDialog::Accepted) return ModifyIdAnswer::kCancel;
  return dialog.Answer();
}

bool QtUi::EditCtr(const CtrEditRequest& request) {
  EditCtrDialog dialog(Owner(), request);
  return dialog.exec() == QDialog::Accepted;
}

bool QtUi::NotifyCtr(std::string_view text) { return NotifySkippable("CTR", text); }

bool QtUi::NotifySkippable(std::string_view title, std::string_view text) {
  CtrNotificationDialog dialog(Owner(), Q(text), Q(title));
  dialog.exec();
  return dialog.skipFurther();
}

QWidget* QtUi::Owner() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return window_;
}

MessageAnswer QtUi::ShowMessageBox(const MessageRequest& request) {
  QMessageBox box(Owner());
  box.setWindowTitle(Q(request.caption));
  box.setText(Q(request.text));
  box.setIcon(IconOf(request.icon));
  switch (request.buttons) {
    case MessageButtons::kOk: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::kOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageButtons::kYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  if (QAbstractButton* def = box.button(ButtonOf(request.defaultAnswer)))
    box.setDefaultButton(static_cast<QPushButton*>(def));
  const int pressed = box.exec();
  switch (pressed) {
    case QMessageBox::Ok: return MessageAnswer::kOk;
    case QMessageBox::Yes: return MessageAnswer::kYes;
    case QMessageBox::No: return MessageAnswer::kNo;
    case QMessageBox::Cancel: return MessageAnswer::kCancel;
    default: break;
  }
  // Closed by the window manager: the box's way out.
  if (request.buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  if (request.buttons == MessageButtons::kYesNo) return MessageAnswer::kNo;
  return MessageAnswer::kCancel;
}

std::optional<FileAnswer> QtUi::AskOpenFileName(const FileQuestion& question) {
  const auto filters = FileDialogFilters(question);
  QStringList list;
  for (const auto& f : filters) list << Q(f);
  QFileDialog dialog(Owner(), Q(question.title), InitialPath(question));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(list);
  if (question.filterIndex >= 1 && question.filterIndex <= list.size())
    dialog.selectNameFilter(list[question.filterIndex - 1]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FileAnswer{dialog.selectedFiles().front().toStdString(), FilterIndex(filters, dialog.selectedNameFilter())};
}

std::optional<FileAnswer> QtUi::AskSaveFileName(const FileQuestion& question) {
  const auto filters = FileDialogFilters(question);
  QStringList list;
  for (const auto& f : filters) list << Q(f);
  QFileDialog dialog(Owner(), Q(question.title), InitialPath(question));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The shell asks "File already exists, overwrite ?" itself.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilters(list);
  if (question.filterIndex >= 1 && question.filterIndex <= list.size())
    dialog.selectNameFilter(list[question.filterIndex - 1]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return FileAnswer{dialog.selectedFiles().front().toStdString(), FilterIndex(filters, dialog.selectedNameFilter())};
}

std::optional<std::vector<int>> QtUi::ChooseTracks(const TrackListRequest& request) {
  ChoiceListDialog dialog(request.title, request.entries, request.multiple, request.offerAll, Owner());
  dialog.setObjectName(QStringLiteral("TrackList"));
  if (transferRunning_) dialog.CloseWhenUnwanted(transferRunning_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  auto chosen = dialog.Chosen();
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

std::optional<std::vector<int>> QtUi::ChooseSplitParts(const SplitLogRequest& request) {
  ChoiceListDialog dialog(request.title, request.entries, true, false, Owner());
  dialog.setObjectName(QStringLiteral("SplitLog"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Chosen();
}

std::optional<std::string> QtUi::AskText(const TextQuestion& question) {
  TextDialog dialog(question.title, question.prompt, question.initial, static_cast<int>(question.maxLength),
                    Owner());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Text();
}

std::optional<Waypoint> QtUi::EditWaypoint(const Waypoint& initial, bool isNew) {
  // The dialog's UTM box is remembered for the program's run.
  static bool utm = false;
  EditWaypointDialog dialog(initial, isNew, utm, Owner());
  const bool ok = dialog.exec() == QDialog::Accepted;
  utm = dialog.utm();
  if (!ok) return std::nullopt;
  return dialog.Result();
}

void QtUi::SetStatusLine(std::string_view text) {
  if (window_) window_->SetStatusLine(Q(text));
}

void QtUi::SetProductLine(std::string_view text) {
  if (window_) window_->SetProductLine(Q(text));
}

void QtUi::SetTitle(std::string_view text) {
  if (window_) window_->setWindowTitle(Q(text));
}

void QtUi::RefreshList(ViewMode view, int32_t rowCount) {
  if (window_) window_->RefreshList(view, rowCount);
}

void QtUi::ShowView(ViewMode view, bool utm, int32_t rowCount) {
  if (window_) window_->ShowView(view, utm, rowCount);
}

std::vector<int32_t> QtUi::SelectedRows(ViewMode view) {
  return window_ ? window_->SelectedRows(view) : std::vector<int32_t>{};
}

void QtUi::SelectRows(ViewMode view, const std::vector<int32_t>& rows) {
  if (window_) window_->SelectRows(view, rows);
}

void QtUi::SetListSize(ListSize size) {
  if (window_) window_->SetListSize(size);
}

void QtUi::SetChecked(int commandId, bool checked) {
  if (window_) window_->SetChecked(commandId, checked);
}

void QtUi::Post(std::function<void()> task) {
  // Queued on this object's thread (the GUI thread) from whichever thread
  // calls; dropped with the object if the program is already gone.
  QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtUi::ShowMessage(Caption caption, std::string_view text, MessageIcon icon) {
  MessageRequest request;
  request.caption = std::string(caption.text);
  request.text = std::string(text);
  request.icon = icon == MessageIcon::kInfo      ? BoxIcon::kInformation
                 : icon == MessageIcon::kWarning ? BoxIcon::kWarning
                                                 : BoxIcon::kError;
  ShowMessageBox(request);
}

}  // namespace skylode
