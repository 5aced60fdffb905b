#include <QTest>


#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/smtp_passwords.h"
#include "support/free_port.h"
#include "support/memory_token_store.h"
#include "support/secret_service_session.h"

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
  Status Forget(const std::string& account) override {
    if (!canForget) return Status::Error("locked");
    passwords.erase(account);
    return Status::Ok();
  }
  std::map<std::string, std::string> passwords;
  bool canForget = true;
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

// A window's passwords, which asks with `typed` (nothing: cancelled) and
// keeps each note it asked with.
struct Window {
  explicit Window(IPasswordStore& store)
      : passwords(store, [this](const UserSettings&, const std::string& note) {
          notes.push_back(note);
          return typed ? std::optional<Secret>(Secret(*typed)) : std::nullopt;
        }) {}
  std::vector<std::string> notes;
  std::optional<std::string> typed;
  SmtpPasswords passwords;
};

}  // namespace

class SmtpPasswordsTest : public QObject {
  Q_OBJECT

 private slots:
  void AStoredPasswordTheServerRefusedIsNotGivenAgainUnasked();
  void ARefusedPasswordIsNotSentAgainAfterARestartNorByAnotherWindow();
  void ARefusalLeavesAPasswordGivenSinceInAnotherWindow();
  void TheDesktopStoreForgetsAPassword();
  void ARefusedAccessTokenIsDroppedAndTheSignInKept();
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

// Failed log-ins lock accounts: a refusal counts for every window on the
// account and outlasts the program, and nothing of the password is kept for it.
void SmtpPasswordsTest::ARefusedPasswordIsNotSentAgainAfterARestartNorByAnotherWindow() {
  const UserSettings library = Account("library");
  const std::string key = SmtpPasswords::AccountOf(library);
  MemoryStore store;
  Window first(store);
  Window second(store);
  second.typed = "typed-in-second";
  QCOMPARE(Given(second.passwords, library), std::string("typed-in-second"));
  QCOMPARE(Given(first.passwords, library), std::string("typed-in-second"));

  first.passwords.PasswordRefused(library);
  QVERIFY(!store.passwords.contains(key));
  // The other window asks, and so does the program started again.
  second.typed.reset();
  QVERIFY(!second.passwords.Password(library).ok());
  QCOMPARE(second.notes.size(), std::size_t{2});
  {
    Window restarted(store);
    QVERIFY(!restarted.passwords.Password(library).ok());
    QCOMPARE(restarted.notes.size(), std::size_t{1});
  }
  // One given in either window then counts in both, unasked.
  second.typed = "given-since";
  QCOMPARE(Given(second.passwords, library), std::string("given-since"));
  QCOMPARE(Given(first.passwords, library), std::string("given-since"));
  QCOMPARE(first.notes.size(), std::size_t{0});

  // A store that cannot forget it: this session still never sends it unasked.
  store.canForget = false;
  first.passwords.PasswordRefused(library);
  QCOMPARE(store.passwords[key], std::string("given-since"));
  QVERIFY(!first.passwords.Find(library));
  QVERIFY(!first.passwords.Password(library).ok());
  QCOMPARE(first.notes.size(), std::size_t{1});
  QVERIFY2(first.notes[0].find("refused") != std::string::npos, first.notes[0].c_str());
}

// Two windows on one account: the first's Send takes the stored password,
// the user gives a new one in the second, and only then does the server
// refuse the first's. The new one is the user's answer: kept, and sent.
void SmtpPasswordsTest::ARefusalLeavesAPasswordGivenSinceInAnotherWindow() {
  const UserSettings library = Account("library");
  const std::string key = SmtpPasswords::AccountOf(library);
  MemoryStore store;
  store.passwords[key] = "old-secret";
  Window first(store);
  Window second(store);
  QCOMPARE(Given(first.passwords, library), std::string("old-secret"));
  QVERIFY(second.passwords.Keep(library, Secret("new-secret")).ok());

  const std::string told = first.passwords.PasswordRefused(library);

  QCOMPARE(store.passwords[key], std::string("new-secret"));
  QVERIFY(told.find("new-secret") == std::string::npos);
  QCOMPARE(Given(first.passwords, library), std::string("new-secret"));
  QCOMPARE(Given(second.passwords, library), std::string("new-secret"));
  QCOMPARE(first.notes.size() + second.notes.size(), std::size_t{0});

  // The same one refused in turn goes from the store as before.
  first.passwords.PasswordRefused(library);
  QVERIFY(!store.passwords.contains(key));
  QVERIFY(!second.passwords.Password(library).ok());
  QCOMPARE(second.notes.size(), std::size_t{1});
}

// The desktop's own store, on a Secret Service of the test's own.
void SmtpPasswordsTest::TheDesktopStoreForgetsAPassword() {
  testing::SecretServiceSession session;
  if (!session.available()) QSKIP("no dbus-daemon or gnome-keyring-daemon");
  const UserSettings library = Account("library");
  KeychainPasswordStore store(20000);
  QVERIFY(store.Write(SmtpPasswords::AccountOf(library), Secret("kept-secret")).ok());
  testing::KeepRunningWhenTheSessionBusCloses();
  Window window(store);
  QCOMPARE(Given(window.passwords, library), std::string("kept-secret"));
  window.passwords.PasswordRefused(library);
  QCOMPARE(static_cast<int>(store.Read(SmtpPasswords::AccountOf(library)).state),
           static_cast<int>(StoredPassword::State::Missing));
  QVERIFY(store.Forget(SmtpPasswords::AccountOf(library)).ok());  // nothing there is no failure
  Window restarted(store);
  QVERIFY(!restarted.passwords.Password(library).ok());
  QCOMPARE(restarted.notes.size(), std::size_t{1});
}

// Kept, it would go again at every Send until it nears its expiry.
void SmtpPasswordsTest::ARefusedAccessTokenIsDroppedAndTheSignInKept() {
  UserSettings ann = Account("ann@example.test");
  // Nothing listens there: a refresh fails at once, without leaving the machine.
  const std::string provider = "https://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort());
  ann.authMethod = "oauth2";
  ann.oauthClientId = "postrider-test-client";
  ann.oauthAuthorizeUrl = provider + "/authorize";
  ann.oauthTokenUrl = provider + "/token";
  ann.oauthScope = "mail";
  MemoryStore store;
  testing::MemoryTokenStore signIns;
  SmtpPasswords passwords(store, {}, &signIns);
  TokenGrant grant;
  grant.accessToken = Secret("access-1");
  grant.refreshToken = Secret("refresh-1");
  grant.expiresIn = std::chrono::seconds(3600);
  QVERIFY(passwords.tokens().Keep(ann, std::move(grant)).ok());
  QCOMPARE(Given(passwords, ann), std::string("access-1"));

  const std::string told = passwords.PasswordRefused(ann);

  QVERIFY2(told.find("new access token at the next Send") != std::string::npos, told.c_str());
  QCOMPARE(signIns.Kept(ann), std::string("refresh-1"));
  QVERIFY(store.passwords.empty());
  // The next Send refreshes (here in vain) rather than giving the refused one.
  const Result<Secret> next = passwords.Password(ann);
  QVERIFY(!next.ok());
  QVERIFY2(next.status().message().find("could not be renewed") != std::string::npos,
           next.status().message().c_str());
  QVERIFY(next.status().message().find("refresh-1") == std::string::npos);
}

QTEST_MAIN(SmtpPasswordsTest)
#include "smtp_passwords_test.moc"
