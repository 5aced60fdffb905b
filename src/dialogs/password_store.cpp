#include "dialogs/password_store.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace postrider {

namespace {

const QString kService = QStringLiteral("Postrider");

// Runs a job to its end. A store that does not answer in time counts as
// unavailable, so the program never hangs on it.
bool RunJob(QKeychain::Job& job, int timeoutMs) {
  job.setAutoDelete(false);
  // Never the plain-text fallback: a password stays out of every file.
  job.setInsecureFallback(false);
  QEventLoop loop;
  bool finished = false;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
    finished = true;
    loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  job.start();
  if (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
  return finished;
}

std::string ErrorText(const QKeychain::Job& job) {
  const QString text = job.errorString();
  return text.isEmpty() ? std::string("the secret store gave no reason") : text.toStdString();
}

}  // namespace

StoredPassword KeychainPasswordStore::Read(const std::string& account) {
  StoredPassword found;
  QKeychain::ReadPasswordJob job(kService);
  job.setKey(QString::fromStdString(account));
  if (!RunJob(job, timeoutMs_)) {
    found.state = StoredPassword::State::Unavailable;
    found.error = "the desktop's secret store did not answer";
    return found;
  }
  switch (job.error()) {
    case QKeychain::NoError: {
      found.state = StoredPassword::State::Found;
      QByteArray bytes = job.binaryData();
      found.password = Secret(bytes.toStdString());
      bytes.fill('\0');
      return found;
    }
    case QKeychain::EntryNotFound:
      found.state = StoredPassword::State::Missing;
      return found;
    default:
      found.state = StoredPassword::State::Unavailable;
      found.error = ErrorText(job);
      return found;
  }
}

Status KeychainPasswordStore::Write(const std::string& account, const Secret& password) {
  QKeychain::WritePasswordJob job(kService);
  job.setKey(QString::fromStdString(account));
  QByteArray bytes(password.reveal().data(), static_cast<qsizetype>(password.reveal().size()));
  job.setBinaryData(bytes);
  bytes.fill('\0');
  if (!RunJob(job, timeoutMs_)) return Status::Error("the desktop's secret store did not answer");
  if (job.error() != QKeychain::NoError) return Status::Error(ErrorText(job));
  return Status::Ok();
}

Status KeychainPasswordStore::Forget(const std::string& account) {
  QKeychain::DeletePasswordJob job(kService);
  job.setKey(QString::fromStdString(account));
  if (!RunJob(job, timeoutMs_)) return Status::Error("the desktop's secret store did not answer");
  if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound) {
    return Status::Error(ErrorText(job));
  }
  return Status::Ok();
}

}  // namespace postrider
