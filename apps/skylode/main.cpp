// Skylode: downloads flight instruments and converts their tracks.
//
// The choice between the window and a hidden command-line run (or the help
// text) is made before anything of Qt exists: a run on a competition server
// without a display must never load a platform plugin.
#include <csignal>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "shell/app_state.h"
#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"
#include "sim/register.h"

#ifdef SKYLODE_HAVE_GUI
#include <QApplication>

#include "ui/window_program.h"
#endif

// The build's project version; the files the program writes carry the same
// number, so the two cannot be allowed to part.
static_assert(skylode::kProgramVersion == SKYLODE_VERSION_MAJOR * 100 + SKYLODE_VERSION_MINOR,
              "the project version and kProgramVersion differ");

namespace {

void RegisterSimulators() {
  skylode::sim::RegisterVirtualInstruments();
}

#ifdef SKYLODE_HAVE_GUI
// Qt can reach a screen: a person may be watching.
bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

void SetUpApplication() {
  QApplication::setApplicationName(QStringLiteral("Skylode"));
  QApplication::setApplicationVersion(QStringLiteral(SKYLODE_VERSION));
  // Qt has set the process locale from the desktop; numbers in files and
  // sentences must keep a '.' whatever the person's language.
  std::setlocale(LC_NUMERIC, "C");
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe (`skylode ... | head -c 10`) or the file size limit must be
  // a failed write, not the end of the run before its download is saved.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const skylode::CmdParseResult parsed = skylode::ParseCommandLine(arguments);
  if (!parsed.ok()) {
    // Scripts read stderr; a person who started the window sees a box.
    std::cerr << skylode::kCaptionParsing << ": " << skylode::PrintableText(parsed.error) << '\n';
#ifdef SKYLODE_HAVE_GUI
    if (!skylode::ArgumentsAskForNoWindow(arguments) && HasDisplay()) {
      QApplication application(argc, argv);
      SetUpApplication();
      skylode::ShowStartupError(skylode::kCaptionParsing, parsed.error);
    }
#endif
    return 1;
  }
  if (parsed.help) {
    std::cout << skylode::CommandLineHelp() << std::flush;
    return std::cout ? 0 : 1;
  }
  if (parsed.version) {
    std::cout << "skylode " SKYLODE_VERSION "\n" << std::flush;
    return std::cout ? 0 : 1;
  }
  // A hidden run and the conversions never touch Qt: they must work on a
  // machine without a display.
  if (parsed.run && (parsed.run->hidden() || parsed.run->operation == skylode::CmdOperation::kIgcToKml ||
                     parsed.run->operation == skylode::CmdOperation::kDatToKml ||
                     parsed.run->operation == skylode::CmdOperation::kScore ||
                     parsed.run->operation == skylode::CmdOperation::kOlc)) {
    skylode::HiddenRunOptions options;
    options.registerVirtualInstruments = RegisterSimulators;
    const int code = skylode::RunHiddenCommandLine(*parsed.run, options, std::cout, std::cerr);
    // A report that never reached the terminal or the pipe is a failure.
    return std::fflush(stdout) == 0 && std::cout ? code : 1;
  }
  if (parsed.run && !skylode::IsOperationAvailable(parsed.run->operation)) {
    // Scripts read stderr; a person at a screen also sees it in the window.
    std::cerr << "Command line: " << skylode::kTextNotAvailable << '\n';
#ifdef SKYLODE_HAVE_GUI
    if (!HasDisplay()) return 1;
#else
    return 1;
#endif
  }
#ifdef SKYLODE_HAVE_GUI
  QApplication application(argc, argv);
  SetUpApplication();
  if (!parsed.run) {
    skylode::WindowProgram program;
    return program.Run();
  }
  // WIN=1 or 2: the window shows the run and stays for the person unless
  // EXIT was given. The run begins before start-up restores anything, so it
  // works with its own values, not the person's.
  std::optional<skylode::CommandLineRunner> runner;
  skylode::WindowProgramOptions options;
  options.beforeInitialise = [&](skylode::AppState& app) {
    runner.emplace(app, *parsed.run, std::cout);
    runner->endProgram = [](int code) { QApplication::exit(code); };
    runner->Begin();
  };
  skylode::WindowProgram program(options);
  program.ShowForCommandLine(*parsed.run);
  // Its refusals ("not available" included) are shown in the window.
  runner->RunCommandLine();
  if (runner->done() && parsed.run->exitWhenDone) return runner->exitCode();
  const int code = program.Run();
  return runner->done() && parsed.run->exitWhenDone ? runner->exitCode() : code;
#else
  std::fputs("Skylode " SKYLODE_VERSION " was built without the window\n", stderr);
  return 0;
#endif
}
