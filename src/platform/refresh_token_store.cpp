#include "platform/refresh_token_store.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/blocking_call.h"
#include "platform/secret_functions.h"

namespace postrider {
namespace {

const SecretSchema* Schema() {
  static const SecretSchema schema = {
      "org.postrider.OAuthRefreshToken",
      SECRET_SCHEMA_NONE,
      {
          {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"token-url", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"client-id", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
      },
      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

GHashTable* AttributesOf(const SecretFunctions& secret, const RefreshTokenKey& key) {
  GHashTable* attributes = secret.g_hash_table_new(secret.g_str_hash, secret.g_str_equal);
  secret.g_hash_table_insert(attributes, const_cast<char*>("account"),
                             const_cast<char*>(key.account.c_str()));
  secret.g_hash_table_insert(attributes, const_cast<char*>("token-url"),
                             const_cast<char*>(key.tokenUrl.c_str()));
  secret.g_hash_table_insert(attributes, const_cast<char*>("client-id"),
                             const_cast<char*>(key.clientId.c_str()));
  return attributes;
}

std::string ErrorText(GError* error) {
  if (error == nullptr || error->message == nullptr) return "the secret store gave no reason";
  return error->message;
}

// What one call of the store came to.
struct Call {
  bool finished = false;  // false: cancelled, or not answered in time
  bool cancelledByUser = false;
  GError* error = nullptr;
};

// Runs a libsecret call in a thread of its own, so a prompt to unlock the
// keyring never freezes a window: this thread waits with the hook running.
Call RunInBackground(const SecretFunctions& secret,
                     const std::function<void(GCancellable*, GError**)>& work,
                     std::chrono::milliseconds timeout) {
  Call call;
  GCancellable* cancellable = secret.g_cancellable_new();
  std::atomic<bool> done{false};
  GError* error = nullptr;
  std::thread worker([&] {
    work(cancellable, &error);
    done.store(true);
  });
  {
    BlockingCallScope scope;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done.load()) {
      if (scope.entered() && scope.RunHook() != 0) {
        call.cancelledByUser = true;
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  if (!done.load()) secret.g_cancellable_cancel(cancellable);
  worker.join();
  call.finished = !call.cancelledByUser && !secret.g_cancellable_is_cancelled(cancellable);
  call.error = error;
  secret.g_object_unref(cancellable);
  return call;
}

std::string Unanswered(const Call& call) {
  return call.cancelledByUser ? "the wait for the secret store was cancelled"
                              : "the desktop's secret store did not answer";
}

}  // namespace

StoredRefreshToken SecretServiceTokenStore::Read(const RefreshTokenKey& key) {
  StoredRefreshToken stored;
  const Result<const SecretFunctions*> loaded = LoadSecret();
  if (!loaded) {
    stored.state = StoredRefreshToken::State::Unavailable;
    stored.error = loaded.status().message();
    return stored;
  }
  const SecretFunctions& secret = **loaded;
  gchar* value = nullptr;
  GHashTable* attributes = AttributesOf(secret, key);
  Call call = RunInBackground(
      secret,
      [&](GCancellable* cancellable, GError** error) {
        value = secret.secret_password_lookupv_sync(Schema(), attributes, cancellable, error);
      },
      timeout_);
  secret.g_hash_table_unref(attributes);
  if (!call.finished || call.error != nullptr) {
    stored.state = StoredRefreshToken::State::Unavailable;
    stored.error = call.finished ? ErrorText(call.error) : Unanswered(call);
    if (call.error != nullptr) secret.g_error_free(call.error);
    if (value != nullptr) secret.secret_password_free(value);
    return stored;
  }
  if (value == nullptr) {
    stored.state = StoredRefreshToken::State::Missing;
    return stored;
  }
  stored.state = StoredRefreshToken::State::Found;
  stored.token = Secret(std::string(value));
  secret.secret_password_free(value);  // wipes it
  return stored;
}

Status SecretServiceTokenStore::Write(const RefreshTokenKey& key, const Secret& token) {
  const Result<const SecretFunctions*> loaded = LoadSecret();
  if (!loaded) return loaded.status();
  const SecretFunctions& secret = **loaded;
  const std::string label = "Postrider: OAuth 2.0 sign-in of " + key.account;
  std::string value(token.reveal());
  GHashTable* attributes = AttributesOf(secret, key);
  gboolean stored = FALSE;
  Call call = RunInBackground(
      secret,
      [&](GCancellable* cancellable, GError** error) {
        stored = secret.secret_password_storev_sync(Schema(), attributes,
                                                    SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                    value.c_str(), cancellable, error);
      },
      timeout_);
  secret.g_hash_table_unref(attributes);
  WipeString(value);
  Status result = Status::Ok();
  if (!call.finished) {
    result = Status::Error(Unanswered(call));
  } else if (call.error != nullptr || !stored) {
    result = Status::Error(ErrorText(call.error));
  }
  if (call.error != nullptr) secret.g_error_free(call.error);
  return result;
}

Status SecretServiceTokenStore::Erase(const RefreshTokenKey& key) {
  const Result<const SecretFunctions*> loaded = LoadSecret();
  if (!loaded) return loaded.status();
  const SecretFunctions& secret = **loaded;
  GHashTable* attributes = AttributesOf(secret, key);
  Call call = RunInBackground(
      secret,
      [&](GCancellable* cancellable, GError** error) {
        secret.secret_password_clearv_sync(Schema(), attributes, cancellable, error);
      },
      timeout_);
  secret.g_hash_table_unref(attributes);
  Status result = Status::Ok();
  if (!call.finished) {
    result = Status::Error(Unanswered(call));
  } else if (call.error != nullptr) {
    result = Status::Error(ErrorText(call.error));
  }
  if (call.error != nullptr) secret.g_error_free(call.error);
  return result;
}

}  // namespace postrider
