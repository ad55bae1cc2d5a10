#include "tests/support/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "tests/support/xvfb.h"

namespace quillmer::testing {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kScript = QUILLMER_SOURCE_DIR "/tests/support/serve.py";

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

bool SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool HttpServer::Start(const std::filesystem::path& root) {
  if (Running()) return true;
  if (!std::filesystem::is_directory(root)) {
    why_ = "no folder " + root.string() + " to serve";
    return false;
  }
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    why_ = "cannot make a pipe";
    return false;
  }
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    why_ = "cannot make a pipe";
    return false;
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    // dup2 drops close-on-exec; the other ends stay closed in the server, so
    // that it sees the end of its input when this process goes.
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::execlp("python3", "python3", kScript, root.c_str(), nullptr);
    _exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  if (pid < 0) {
    ::close(in[1]);
    ::close(out[0]);
    why_ = "cannot start a process";
    return false;
  }
  std::string line;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[64];
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  int port = 0;
  if (line.find('\n') != std::string::npos) port = std::atoi(line.c_str());
  if (port <= 0) {
    ::close(in[1]);
    ::close(out[0]);
    bool timedOut = false;
    int status = Reap(pid, Clock::now() + std::chrono::seconds(2), timedOut);
    why_ = status == 127 ? "python3 is not installed"
                         : "the HTTP server (" + std::string(kScript) + ") did not start";
    return false;
  }
  pid_ = pid;
  input_ = in[1];
  output_ = out[0];
  port_ = port;
  why_.clear();
  return true;
}

bool HttpServer::Stop() {
  if (!Running()) return false;
  ::close(input_);
  bool timedOut = false;
  const int status = Reap(pid_, Clock::now() + std::chrono::seconds(5), timedOut);
  ::close(output_);
  pid_ = 0;
  input_ = output_ = -1;
  port_ = 0;
  why_ = "the HTTP server was stopped";
  return !timedOut && status == 0;
}

std::string HttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" +
         (path.empty() || path[0] != '/' ? path : path.substr(1));
}

std::vector<HttpServer::Request> HttpServer::Log() const {
  std::vector<Request> log;
  auto reply = HttpRequest(port_, "GET", "/log");
  if (!reply || reply->status != 200) return log;
  std::istringstream lines(reply->body);
  std::string line;
  while (std::getline(lines, line)) {
    auto a = line.find('\t'), b = line.find('\t', a == std::string::npos ? a : a + 1);
    if (b == std::string::npos) continue;
    log.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), FromHex(line.substr(b + 1))});
  }
  return log;
}

std::optional<HttpReply> HttpRequest(int port, const std::string& method,
                                     const std::string& target, const std::string& body,
                                     int timeoutMs) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string raw;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      SendAll(fd, method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                      (body.empty() && method != "POST"
                           ? std::string()
                           : "Content-Length: " + std::to_string(body.size()) + "\r\n") +
                      "\r\n" + body)) {
    char buf[8192];
    for (;;) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      raw.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  auto end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/", 0) != 0 || end == std::string::npos) return std::nullopt;
  HttpReply reply;
  reply.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
  reply.headers = raw.substr(0, end);
  reply.body = raw.substr(end + 4);
  return reply;
}

}  // namespace quillmer::testing
