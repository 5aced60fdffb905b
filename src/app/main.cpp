#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/postridr_app.h"
#include "app/version.h"

namespace {

constexpr const char* kUsage = "usage: postrider [PROJECT]\n";
constexpr const char* kHelp =
    "Postrider, the mail-merge program: sends each selected entry of a mailing list its\n"
    "personalised e-mail.\n\n"
    "PROJECT, a project file (.prj), is opened after the start-up picture; without it the\n"
    "project opened last is, or the Project Wizard makes a new one.\n\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are taken as well.\n"
    "The manual page postrider(1) tells more; postrider-cli works without a display.\n";

// --help and --version, answered before Qt looks for a display, so both work
// in a terminal without one. Nothing after "--" is an option.
bool AnswerInformationOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs("\n", stdout);
      std::fputs(kHelp, stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("postrider %d.%d\n", postrider::kVersionMajor, postrider::kVersionMinor);
      return true;
    }
  }
  return false;
}

// What is left once Qt has taken its options: at most one project. Its bytes
// are kept as given, for a name that is not UTF-8.
bool ProjectArgument(int argc, char** argv, std::string& project) {
  bool optionsEnded = false;
  bool given = false;  // an empty path must not let the next one take its place
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnded && std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "postrider: unknown option %s\n%s", arg, kUsage);
      return false;
    } else if (given) {
      std::fprintf(stderr, "postrider: one project at a time\n%s", kUsage);
      return false;
    } else if (*arg == '\0') {
      std::fprintf(stderr, "postrider: PROJECT is an empty path\n%s", kUsage);
      return false;
    } else {
      project = arg;
      given = true;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (AnswerInformationOption(argc, argv)) return std::ferror(stdout) ? EXIT_FAILURE : EXIT_SUCCESS;

  QApplication application(argc, argv);
  std::string project;
  if (!ProjectArgument(argc, argv, project)) return 2;
  QApplication::setApplicationName(QStringLiteral("Postrider"));
  QApplication::setApplicationVersion(
      QStringLiteral("%1.%2").arg(postrider::kVersionMajor).arg(postrider::kVersionMinor));
  QApplication::setDesktopFileName(QStringLiteral("postrider"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/postrider.svg")));
  // The wizard's pages come and go before the main window is shown; the
  // program ends when the application says so.
  QApplication::setQuitOnLastWindowClosed(false);

  postrider::CPostridrApp postrider;
  QObject::connect(&postrider, &postrider::CPostridrApp::quitRequested, &application,
                   &QCoreApplication::quit, Qt::QueuedConnection);
  // For the package's test: say which project the window came up with, and end.
  if (const char* hook = std::getenv("POSTRIDER_TEST_QUIT_WHEN_STARTED"); hook && *hook == '1') {
    QObject::connect(&postrider, &postrider::CPostridrApp::started, &application, [&postrider] {
      std::printf("started: %s\n", postrider.document().GetPathName().c_str());
      std::fflush(stdout);
      postrider.document().SetModifiedFlag(false);
      QCoreApplication::quit();
    }, Qt::QueuedConnection);
  }
  constexpr int kStartUpPictureMs = 4000;
  postrider.Start(kStartUpPictureMs, project);
  return application.exec();
}
