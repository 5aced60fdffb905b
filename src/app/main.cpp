#include <QApplication>
#include <QIcon>

#include "app/postridr_app.h"
#include "app/version.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
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
  // The command line is not read: start-up is always the same.
  constexpr int kStartUpPictureMs = 4000;
  postrider.Start(kStartUpPictureMs);
  return application.exec();
}
