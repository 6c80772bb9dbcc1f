// What the file commands say: captions, texts and questions, and the
// message each reader's or writer's Error becomes. The formats return data
// or an Error; the words a person reads are chosen here, once, for the
// window, a hidden run and the command line alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "formats/igc_reader.h"
#include "formats/waypoint_files.h"
#include "records/error.h"
#include "records/waypoint.h"
#include "shell/interface/ui_interface.h"

namespace skylode {

class AppState;
struct KmlTrack;

// The text under a save's or read's caption: the file and the system's
// reason ("/data/a.igc: Read-only file system"), or the error's own account
// when the system gave none.
std::string FileAndReason(const Error& error);

// `text` for a terminal: control characters (escape sequences, bells, line
// breaks inside a product text or a file name) become blanks.
std::string PrintableText(std::string_view text);

// What a run without a person says where the window would ask whether to
// replace a file: "<path> exists, not replaced; use /OVERWRITE".
std::string ExistsNotReplacedText(const std::string& path);

// A box to show: caption, text and icon.
struct FileMessage {
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::kError;
};
// In a box (or a hidden run's log).
void ShowFileMessage(AppState& app, const FileMessage& message);

// --- IGC ---
inline constexpr char kIgcReadCaption[] = "Reading IGC log file";
inline constexpr char kIgcVerifyOpenTitle[] = "Read track log";
inline constexpr char kIgcSaveCaption[] = "Write IGC track log file";
inline constexpr char kRawIgcSaveCaption[] = "Save IGC log";
inline constexpr char kIgcOnlyOnePositionText[] = "Only one position selected";  // OK/Cancel
inline constexpr char kIgcFormatDialogTitle[] = "IGC File Format";
inline constexpr char kRawIgcDialogTitle[] = "Save IGC track log from GPS";
inline constexpr char kIgcSaveFileTitle[] = "Save track log";
inline constexpr char kIgcFilterName[] = "IGC track log files";
inline constexpr char kIgcExtension[] = ".igc";
inline constexpr char kIgcNoGRecordText[] = "Track log source is not valid for G-record";
inline constexpr char kIgcNoGRecordCaption[] = "Security record NOT included";
inline constexpr char kIgcFileExistsText[] = "File already exists, overwrite ?";
inline constexpr char kIgcFileExistsCaption[] = "File creation";
inline constexpr char kIgcParameterCheckCaption[] = "Checking IGC parameters";
inline constexpr char kRawIgcParameterCheckCaption[] = "IGC file parameter check";

// Status line after opening an .igc file as a track log:
// "%d positions read (Signature not ok or ignored)".
std::string IgcPositionsReadStatus(size_t count);
// Status line after a save: "%d positions written".
std::string IgcPositionsWrittenStatus(size_t count);

// A failed IGC save (built or the instrument's own text; kExists is asked
// about before it gets here). A failure the system reports shows its text
// captioned with the program's message.
FileMessage IgcSaveFailure(const Error& error, bool rawLog);
// A failed read of an .igc file by name (the command line's read; its boxes
// keep the error icon).
FileMessage IgcReadFailure(const Error& error);

// What a read that kept going says: a cut-off last B record was left out
// (the reader's text, as a warning). Nothing when the whole file was read.
// Opening the file in the window, the command line's read and IGC2KML all
// say it.
std::optional<FileMessage> IgcReadWarning(std::string_view warning);

// The security check's answer ("Security check PASSED" ..., caption
// "Security check"), or why the file could not be checked.
FileMessage IgcVerifyMessage(const Result<IgcVerifyOutcome>& checked);

// Checks of the save dialogs, each giving the message to show or nothing.
// Flight number as typed: blanks and a sign may surround a decimal number.
struct IgcFlightNumberCheck {
  int flight = 0;
  // "Missing flight number", "Bad flight number input", "Flight number out of range"
  std::optional<std::string> error;
};
IgcFlightNumberCheck CheckIgcFlightNumber(std::string_view typed);
// Pilot, flight number and serial of the IGC save dialog, in its order.
std::optional<std::string> CheckIgcSaveParameters(std::string_view pilot, std::string_view flightNumber,
                                                  std::string_view serial);

// --- KML ---
inline constexpr char kKmlTrackCaption[] = "Parsing track log file";
inline constexpr char kKmlWaypointCaption[] = "Parsing waypoint file";
inline constexpr char kAerodiarySavedCaption[] = "Save Aerodiary track";
// "%d positions read (Signature ok)" or "... (Signature not ok or ignored)".
std::string KmlTrackStatusText(const KmlTrack& track);
// Why a track folder could not be built: "Memory allocation error" or
// "Too few track positions".
std::string KmlFolderFailureText(const Error& error);
// "Number of tracks limited to 50".
std::string KmlTrackLimitText();
// "Track saved (Signature OK)" or "Track saved (NO signature)".
std::string AerodiarySavedText(bool signatureValid);

// --- Waypoints ---
inline constexpr char kInsertWaypointCaption[] = "Insert waypoint";
// "Waypoint %s already exists, overwrite ?"
std::string WaypointExistsQuestion(const Waypoint& existing);

// --- Reading a track log file in the window ---
inline constexpr char kCaptionReadingTrackFile[] = "Reading track log file";
// The file could not be read: empty, or the system's reason.
FileMessage TrackFileReadFailure(const Error& error);

// --- Waypoint and GPX files ---
inline constexpr char kReadWaypointsCaption[] = "Read waypoint file";
inline constexpr char kSaveWaypointsCaption[] = "Save waypoints";
// Reading the file itself failed.
FileMessage WaypointFileReadFailure(const Error& error);
// A reader refused the file; the caption names the reader that ran.
FileMessage WaypointDecodeFailure(const Error& error, WaypointFileKind kind);
// A writer's bytes could not be saved.
FileMessage WaypointSaveFailure(const Error& error, std::string_view caption);

}  // namespace skylode
