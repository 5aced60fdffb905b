#pragma once

#include <string>

// Texts the send run shows the user.
namespace postrider::texts {

inline constexpr const char* kSettingsNotConfigured =
    "Some settings, such as your SMTP server name and return address, have not been "
    "configured.  Please configure these settings now.";
inline constexpr const char* kResumeQuestion =
    "Your last send operation did not complete.  Do you wish to start this send from the "
    "beginning of the list?\nSelect Yes to start from beginning, select No to continue.";
inline constexpr const char* kConnecting = "Connecting...";
inline constexpr const char* kStartingSend = "Starting Send";
inline constexpr const char* kComplete = "Complete";
// A server that asked to slow down is given time before the run connects again.
inline constexpr const char* kWaitingForServer = "The server is busy: waiting before trying again";
// After a refusal for now (a 4xx) that stopped a run without a sending limit.
inline constexpr const char* kSetALimitAdvice =
    "The server refused for now (a temporary 4xx reply): it may limit how much mail a sender "
    "may send. Set a sending limit (Per Minute or Per Connection under Sending Limits in "
    "Configure, or postrider-cli send --per-minute N or --per-connection M), and the run waits "
    "for the server and tries again.";
// The same with a limit set, once the server was waited for in vain: "%d".
inline constexpr const char* kStillRefusedPrefix = "The server still refused after ";
inline constexpr const char* kStillRefusedSuffix =
    " waits in a row. Resume the run later, or set a lower sending limit.";
// A Pause while the server holds the whole message: its answer is awaited.
inline constexpr const char* kAwaitingConfirmation =
    "Pausing: waiting for the server to confirm the message";

// "Sending 3 of 12": the selected entries taken up, and their total.
std::string Sending(int count, int total);
// "Sending 10 of 20 - Error 421": the entry's place in the list (from 1),
// the list's length and the number of what stopped the run.
std::string SendingError(int position, int entries, int number);
// A failure's words, then what to do about it when there is advice.
std::string WithAdvice(std::string text, const std::string& advice);
// A message the server may have taken, although no answer said so.
std::string InDoubt(int entry, const std::string& address);

}  // namespace postrider::texts
