#pragma once

#include <string>

#include "smtp/smtp_reply_reader.h"

namespace postrider {

// What to do when a server refuses a password sign-in because the provider
// wants another one: Microsoft's "550 5.7.30 Basic authentication is not
// supported for Client Submission" and "535 5.7.139 Authentication
// unsuccessful" (the OAuth 2.0 sign-in), Google's "534 5.7.9
// Application-specific password required" (the OAuth 2.0 sign-in or an app
// password). Empty for any other reply.
std::string PasswordRefusalAdvice(const SmtpReply& reply);

// The failure text with the advice after the server's own words, when there is one.
std::string WithPasswordRefusalAdvice(std::string failureText, const SmtpReply& reply);

}  // namespace postrider
