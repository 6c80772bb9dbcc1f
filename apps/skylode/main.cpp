// Skylode: downloads flight instruments and converts their tracks.
//
// The choice between the window and a hidden command-line run (or the help
// text) is made before anything of Qt exists: a run on a competition server
// without a display must never load a platform plugin.
#include <csignal>
#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"
#include "sim/register.h"

#ifdef SKYLODE_HAVE_GUI
#include <QApplication>

#include "ui/window_program.h"
#endif

namespace {

void RegisterSimulators() {
  skylode::sim::RegisterVirtualInstruments();
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe (`skylode ... | head -c 10`) or the file size limit must be
  // a failed write, not the end of the run before its download is saved.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const skylode::CmdParseResult parsed = skylode::ParseCommandLine(arguments);
  if (!parsed.ok()) {
    std::cerr << skylode::kCaptionParsing << ": " << skylode::PrintableText(parsed.error) << '\n';
    return 1;
  }
  if (parsed.help) {
    std::cout << skylode::CommandLineHelp() << std::flush;
    return std::cout ? 0 : 1;
  }
  // A hidden run and the conversions never touch Qt: they must work on a
  // machine without a display.
  if (parsed.run && (parsed.run->hidden() || parsed.run->operation == skylode::CmdOperation::kIgcToKml)) {
    skylode::HiddenRunOptions options;
    options.registerVirtualInstruments = RegisterSimulators;
    const int code = skylode::RunHiddenCommandLine(*parsed.run, options, std::cout, std::cerr);
    // A report that never reached the terminal or the pipe is a failure.
    return std::fflush(stdout) == 0 && std::cout ? code : 1;
  }
  if (parsed.run && !skylode::IsOperationAvailable(parsed.run->operation)) {
    std::cerr << "Command line: " << skylode::kTextNotAvailable << '\n';
    return 1;
  }
#ifdef SKYLODE_HAVE_GUI
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Skylode"));
  QApplication::setApplicationVersion(QStringLiteral("4.49"));
  // Qt has set the process locale from the desktop; numbers in files and
  // sentences must keep a '.' whatever the person's language.
  std::setlocale(LC_NUMERIC, "C");
  skylode::WindowProgram program;
  if (!parsed.run) return program.Run();
  // WIN=1 or 2: the window shows the run and stays for the person unless
  // EXIT was given.
  skylode::CommandLineRunner runner(program.app(), *parsed.run, std::cout);
  runner.endProgram = [](int code) { QApplication::exit(code); };
  runner.Begin();
  runner.RunCommandLine();
  if (runner.done() && parsed.run->exitWhenDone) return runner.exitCode();
  const int code = program.Run();
  return runner.done() && parsed.run->exitWhenDone ? runner.exitCode() : code;
#else
  std::fputs("Skylode 4.49 was built without the window\n", stderr);
  return 0;
#endif
}
