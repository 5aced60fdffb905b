#include <iostream>

#include "cli/cli_settings.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "platform/blocking_call.h"
#include "platform/refresh_token_store.h"
#include "send/oauth_client.h"
#include "send/oauth_sign_in.h"

namespace postrider::cli {

namespace {

void TellAddress(const std::string& address, const Status& browser) {
  if (browser) {
    std::cerr << "The sign-in page is open in your browser; finish the sign-in there.\n"
                 "If it did not open, open this address in a browser on this computer:\n";
  } else {
    std::cerr << browser.message() << "\nOpen this address in a browser on this computer to "
                 "sign in:\n";
  }
  std::cerr << address << '\n' << std::flush;
}

}  // namespace

int RunSignIn(const Arguments& args) {
  SettingsChoice choice;
  bool openBrowser = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--settings") {
      if (i + 1 == args.size()) return UsageError("--settings needs a FILE");
      // A second value would silently win over the first.
      if (choice.chosen()) return UsageError("--settings is given twice");
      choice.Choose(args[++i]);
    } else if (args[i] == "--no-browser") {
      openBrowser = false;
    } else {
      return UsageError("unexpected argument: " + args[i]);
    }
  }
  const std::optional<UserSettings> settings = LoadCommandSettings(choice);
  if (!settings) return kExitUsage;
  if (const Status method = CheckAuthMethod(*settings); !method) {
    std::cerr << "postrider-cli: " << method.message() << '\n';
    return kExitUsage;
  }
  if (!UsesOAuth(*settings)) {
    std::cerr << "postrider-cli: AuthMethod is password in " << choice.path()
              << ": set AuthMethod=oauth2 (and the OAuth keys) to sign in with OAuth 2.0.\n";
    return kExitUsage;
  }
  if (!settings->tokenCommand.empty()) {
    std::cerr << "postrider-cli: TokenCommand is set in " << choice.path()
              << ": its token is used as it is, and there is nothing to sign in to.\n";
    return kExitUsage;
  }
  if (const Result<OAuthClient> client = OAuthClientFromSettings(*settings); !client) {
    std::cerr << "postrider-cli: " << client.status().message() << '\n';
    return kExitUsage;
  }
  // Ctrl+C from here on ends any wait cleanly.
  InterruptWatch stop([] { CancelBlockingCall(); });
  SecretServiceTokenStore store;
  // Nobody is sent to the browser for a sign-in that could not be kept.
  const StoredRefreshToken probe = store.Read(RefreshTokenKeyOf(*settings));
  if (probe.state == StoredRefreshToken::State::Unavailable) {
    std::cerr << "postrider-cli: there is no secret store to keep the sign-in in (" << probe.error
              << "), so nothing was signed in or kept.\nWithout GNOME Keyring, KWallet or "
                 "another Secret Service, give an OAuth helper of your own as TokenCommand.\n";
    return kExitFailed;
  }

  OAuthTokens tokens(&store);
  SignInOptions options;
  options.openBrowser = openBrowser;
  options.addressReady = TellAddress;
  const SignInResult result = SignIn(*settings, tokens, options);
  if (!result.ok()) {
    std::cerr << "postrider-cli: " << result.message << '\n';
    return kExitFailed;
  }
  if (!result.storeError.empty()) {
    tokens.DropUnkept(*settings);
    std::cerr << "postrider-cli: the sign-in passed, but the secret store could not keep it ("
              << result.storeError << "), so nothing new was kept"
              << (tokens.HasSignIn(*settings) ? "; the earlier sign-in stays.\n" : ".\n");
    return kExitFailed;
  }
  if (!result.notes.empty()) std::cerr << result.notes << '\n';
  std::cout << "Signed in as "
            << (result.account.empty() ? settings->userName + " (the provider did not say)"
                                       : result.account)
            << "; the sign-in is kept in the desktop's secret store.\n"
            << std::flush;
  return kExitOk;
}

}  // namespace postrider::cli
