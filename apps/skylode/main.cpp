// Skylode: downloads flight instruments and converts their tracks.
//
// The choice between the window and a hidden command-line run is made before
// anything of Qt exists: a run on a competition server without a display
// must never load a platform plugin.
#include <clocale>
#include <cstdio>

#ifdef SKYLODE_HAVE_GUI
#include <QApplication>

#include "ui/window_program.h"
#endif

namespace {

int RunCommandLine(int /*argc*/, char** /*argv*/) {
  // Command-line automation arrives with its own parser; until then an
  // argument is a command line we cannot read, which ends the run quietly.
  std::fputs("Skylode 4.49: command-line runs are not available in this build\n", stderr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return RunCommandLine(argc, argv);
#ifdef SKYLODE_HAVE_GUI
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Skylode"));
  QApplication::setApplicationVersion(QStringLiteral("4.49"));
  // Qt has set the process locale from the desktop; numbers in files and
  // sentences must keep a '.' whatever the person's language.
  std::setlocale(LC_NUMERIC, "C");
  skylode::WindowProgram program;
  return program.Run();
#else
  std::fputs("Skylode 4.49 was built without the window\n", stderr);
  return 0;
#endif
}
