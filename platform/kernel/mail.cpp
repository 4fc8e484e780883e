#include "platform/kernel/mail.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/kernel/last_error.h"

extern char** environ;

namespace kernel {
namespace {

std::mutex g_lock;
bool g_overridden = false;
std::optional<std::string> g_transport;

// Header text on one line: line breaks would start headers of their own.
std::string header_text(const std::string& s) {
  std::string out;
  for (char c : s) out += (c == '\r' || c == '\n') ? ' ' : c;
  return out;
}

bool is_ascii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

std::string base64(const std::string& in) {
  static const char t[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], t[v & 63]};
  }
  if (i < in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    out += t[v >> 18];
    out += t[(v >> 12) & 63];
    out += i + 1 < in.size() ? t[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// RFC 2047 encoded words, each at most 45 bytes of text and whole UTF-8 characters.
std::string encoded_header(const std::string& s) {
  if (is_ascii(s)) return s;
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t n = std::min<std::size_t>(45, s.size() - i);
    while (i + n < s.size() && n > 0 && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) --n;
    if (n == 0) n = 1;
    if (!out.empty()) out += "\n ";
    out += "=?UTF-8?B?" + base64(s.substr(i, n)) + "?=";
    i += n;
  }
  return out;
}

}  // namespace

std::optional<std::string> find_mail_transport() {
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_overridden) {
      if (g_transport && !g_transport->empty()) return g_transport;
      return std::nullopt;
    }
  }
  for (const char* p : {"/usr/sbin/sendmail", "/usr/lib/sendmail", "/usr/bin/sendmail"})
    if (access(p, X_OK) == 0) return std::string(p);
  return std::nullopt;
}

void set_mail_transport(std::optional<std::string> path) {
  std::lock_guard<std::mutex> g(g_lock);
  g_overridden = path.has_value();
  g_transport = std::move(path);
}

std::string format_mail(const mail_message& message, std::time_t now) {
  std::string to = header_text(message.to);
  if (to.rfind("mailto:", 0) == 0) to.erase(0, 7);
  char date[64] = "";
  std::tm local{};
  if (localtime_r(&now, &local)) {
    // English day and month names whatever the locale.
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long off = local.tm_gmtoff / 60;
    char sign = off < 0 ? '-' : '+';
    if (off < 0) off = -off;
    std::snprintf(date, sizeof date, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday % 7],
                  local.tm_mday, months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, off / 60, off % 60);
  }
  std::string text = "To: " + to + "\n";
  text += "Subject: " + encoded_header(header_text(message.subject)) + "\n";
  if (*date) text += std::string("Date: ") + date + "\n";
  text += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n";
  // Body lines end in LF; a lone CR starts a line too.
  for (std::size_t i = 0; i < message.body.size(); ++i) {
    char c = message.body[i];
    if (c == '\r') {
      text += '\n';
      if (i + 1 < message.body.size() && message.body[i + 1] == '\n') ++i;
    } else {
      text += c;
    }
  }
  if (text.back() != '\n') text += '\n';
  return text;
}

int send_mail(const std::string& transport, const mail_message& message) {
  // The message goes through a private temporary file, so that a transport
  // that stops reading cannot break our process with a broken pipe.
  char name[] = "/tmp/orv-mail-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) {
    set_last_error_from_errno(errno);
    return MAIL_E_FAILURE;
  }
  unlink(name);
  std::string text = format_mail(message, std::time(nullptr));
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      set_last_error_from_errno(errno);
      close(fd);
      return MAIL_E_FAILURE;
    }
    done += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fd, STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, fd);
  std::string arg_t = "-t", arg_i = "-i";
  char* argv[] = {const_cast<char*>(transport.c_str()), arg_t.data(), arg_i.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, transport.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fd);
  if (rc != 0) {
    set_last_error_from_errno(rc);
    return MAIL_E_FAILURE;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return MAIL_E_FAILURE;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? MAIL_SUCCESS : MAIL_E_FAILURE;
}

}  // namespace kernel
