#include <QTest>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/smtp_passwords.h"

using namespace postrider;

namespace {

// A secret store that keeps what it is given in memory.
class MemoryStore : public IPasswordStore {
 public:
  StoredPassword Read(const std::string& account) override {
    StoredPassword found;
    if (const auto kept = passwords.find(account); kept != passwords.end()) {
      found.state = StoredPassword::State::Found;
      found.password = Secret(kept->second);
    }
    return found;
  }
  Status Write(const std::string& account, const Secret& password) override {
    passwords[account] = std::string(password.reveal());
    return Status::Ok();
  }
  std::map<std::string, std::string> passwords;
};

UserSettings Account(const std::string& user) {
  UserSettings settings;
  settings.userName = user;
  settings.smtpServer = "mail.example.com:587";
  return settings;
}

std::string Given(SmtpPasswords& passwords, const UserSettings& settings) {
  Result<Secret> found = passwords.Password(settings);
  return found ? std::string(found.value().reveal()) : "(none: " + found.status().message() + ")";
}

}  // namespace

class SmtpPasswordsTest : public QObject {
  Q_OBJECT

 private slots:
  void AStoredPasswordTheServerRefusedIsNotGivenAgainUnasked();
};

void SmtpPasswordsTest::AStoredPasswordTheServerRefusedIsNotGivenAgainUnasked() {
  const UserSettings library = Account("library");
  const UserSettings office = Account("office");
  MemoryStore store;
  store.passwords = {{SmtpPasswords::AccountOf(library), "old-secret"},
                     {SmtpPasswords::AccountOf(office), "office-secret"}};
  std::vector<std::string> notes;
  std::optional<std::string> typed;
  SmtpPasswords passwords(store, [&](const UserSettings&, const std::string& note) {
    notes.push_back(note);
    return typed ? std::optional<Secret>(Secret(*typed)) : std::nullopt;
  });

  QCOMPARE(Given(passwords, library), std::string("old-secret"));
  QVERIFY(notes.empty());

  const std::string told = passwords.PasswordRefused(library);
  QVERIFY(!passwords.Find(library));

  // Cancelled, the question leaves nothing to send, and the next Send asks again.
  QVERIFY(!passwords.Password(library).ok());
  QCOMPARE(notes.size(), std::size_t{1});
  QVERIFY2(notes[0].find("refused") != std::string::npos, notes[0].c_str());
  QVERIFY(!passwords.Find(library));

  // A newly typed one goes, and takes the refused one's place in the store.
  typed = "new-secret";
  QCOMPARE(Given(passwords, library), std::string("new-secret"));
  QCOMPARE(store.passwords[SmtpPasswords::AccountOf(library)], std::string("new-secret"));
  QCOMPARE(Given(passwords, library), std::string("new-secret"));
  QCOMPARE(notes.size(), std::size_t{2});

  QVERIFY(!told.empty());
  QVERIFY(told.find("old-secret") == std::string::npos);

  // Refused again, it is forgotten for the session too; one given in
  // Configure is the user's answer and goes unasked.
  passwords.PasswordRefused(library);
  QVERIFY(!passwords.Find(library));
  QVERIFY(passwords.Keep(library, Secret("configured-secret")).ok());
  QCOMPARE(Given(passwords, library), std::string("configured-secret"));
  QCOMPARE(notes.size(), std::size_t{2});

  // Another account's password is untouched by all this.
  QCOMPARE(Given(passwords, office), std::string("office-secret"));
  QCOMPARE(notes.size(), std::size_t{2});
}

QTEST_MAIN(SmtpPasswordsTest)
#include "smtp_passwords_test.moc"
