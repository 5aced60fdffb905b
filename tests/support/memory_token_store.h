#pragma once

#include <map>
#include <string>

#include "platform/refresh_token_store.h"
#include "send/oauth_client.h"

namespace postrider::testing {

// The secret store of one test: what a Secret Service would keep, in memory.
class MemoryTokenStore : public IRefreshTokenStore {
 public:
  StoredRefreshToken Read(const RefreshTokenKey& key) override {
    StoredRefreshToken stored;
    if (const auto found = items_.find(Key(key)); found != items_.end()) {
      stored.state = StoredRefreshToken::State::Found;
      stored.token = Secret(found->second);
    }
    return stored;
  }
  Status Write(const RefreshTokenKey& key, const Secret& token) override {
    items_[Key(key)] = std::string(token.reveal());
    return Status::Ok();
  }
  Status Erase(const RefreshTokenKey& key) override {
    items_.erase(Key(key));
    return Status::Ok();
  }
  std::string Kept(const UserSettings& settings) const {
    const auto found = items_.find(Key(RefreshTokenKeyOf(settings)));
    return found == items_.end() ? std::string() : found->second;
  }

 private:
  static std::string Key(const RefreshTokenKey& key) {
    return key.account + "|" + key.tokenUrl + "|" + key.clientId;
  }
  std::map<std::string, std::string> items_;
};

}  // namespace postrider::testing
