// Mail without a dialog: an RFC 5322 message handed to the local mail
// transport ("sendmail -t -i"), as a simple mail call with no user interface.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace kernel {

// Result codes of a send, as the simple mail interface numbers them.
constexpr int MAIL_SUCCESS = 0;
constexpr int MAIL_E_FAILURE = 2;

struct mail_message {
  std::string to;       // an address, optionally in "mailto:" form
  std::string subject;  // UTF-8
  std::string body;     // UTF-8
};

// The transport's path: the one set with set_mail_transport, else the first
// sendmail found in /usr/sbin, /usr/lib, /usr/bin; nothing when there is none.
std::optional<std::string> find_mail_transport();
// Overrides the transport (an empty path means "none"); nothing restores the search.
void set_mail_transport(std::optional<std::string> path);

// The message as RFC 5322 text with a Date header for the given time.
std::string format_mail(const mail_message& message, std::time_t now);

// Runs "<transport> -t -i" with the message on its input. MAIL_SUCCESS when
// the transport accepted it (exit status 0), MAIL_E_FAILURE otherwise.
int send_mail(const std::string& transport, const mail_message& message);

}  // namespace kernel
