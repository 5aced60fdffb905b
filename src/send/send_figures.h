#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "send/attachment_check.h"
#include "send/send_run.h"

namespace postrider {

// What became of the run's entries, one figure a line:
// "Accepted by the server: 9\nRefused by the server: 0\nBad address: 3\nNot reached: 0",
// with "Too large for the server: N" after the refusals when a message was.
std::string SendFiguresText(const SendRunResult& result);

// The text that ends every run, the same in the desktop's final box and on
// postrider-cli send's standard output. A run that reached the end of the
// list: "Send Complete! Total Messages Sent: N", N the messages the server
// accepted, with what was not sent after it. A run that stopped early says
// so with every figure, so a Pause or an error never reads as a finished
// send. `leftOut`, when not empty, is a line saying what the mailing list
// left out, so nobody beyond the list's limits is left out unsaid. Every
// entry whose files could not go is listed, or the first `faultLines` of
// them and how many more, for a box that lists them all elsewhere.
std::string SendClosingText(const SendRunResult& result, const std::string& leftOut,
                            std::size_t faultLines = std::numeric_limits<std::size_t>::max());

// One problem of the check before a run, as the summaries name it:
// "entry 4 <ann@example.com>: /srv/INV-4.pdf: the file does not exist", the
// entry numbered as the user reads it; "every entry: ..." for the letter's own.
std::string AttachmentProblemLine(const AttachmentProblem& problem);

// What the summary after a run says of the entries unselected before it,
// whose files could not go: how many, then each problem on a line of its own
// after `indent`, the first `lines` of them and how many more. Empty when none was.
std::string UnselectedForFilesText(const std::vector<AttachmentProblem>& problems,
                                   const std::string& indent = "  ",
                                   std::size_t lines = std::numeric_limits<std::size_t>::max());

// The question before a run: "Send 27 messages through smtp.example.net?"
std::string SendQuestion(int messages, const std::string& server);

}  // namespace postrider
