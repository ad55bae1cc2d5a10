// tests/support/serve.py started for a test suite: pages served over HTTP on
// 127.0.0.1 with the charset their name gives, and a record of every request
// that arrived (method, target, raw body). When python3 is missing or the
// server does not start, Why() says so and the tests skip.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmer::testing {

class HttpServer {
 public:
  struct Request {
    std::string method;
    std::string target;  // path and query, as sent
    std::string body;    // raw bytes
  };

  HttpServer() = default;
  ~HttpServer() { Stop(); }
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Serves root; false, with Why(), when it cannot.
  bool Start(const std::filesystem::path& root);
  // Closes the server's input, which ends it; true when it ended so by
  // itself, false when it had to be killed (or was not running).
  bool Stop();
  bool Running() const { return pid_ > 0; }
  const std::string& Why() const { return why_; }
  int Port() const { return port_; }

  // "http://127.0.0.1:PORT/" + path.
  std::string Url(const std::string& path) const;
  // What arrived so far, oldest first (the server's /log); empty when it
  // cannot be read.
  std::vector<Request> Log() const;

 private:
  pid_t pid_ = 0;
  int input_ = -1;   // the server's stdin: it exits when this closes
  int output_ = -1;  // its stdout, kept open so that it never writes into a closed pipe
  int port_ = 0;
  std::string why_ = "the HTTP server was not started";
};

// One HTTP/1.0 exchange with 127.0.0.1:port; nothing when the connection
// fails or no status line comes back within timeoutMs.
struct HttpReply {
  int status = 0;
  std::string headers;  // the header lines as sent, status line first
  std::string body;
};
std::optional<HttpReply> HttpRequest(int port, const std::string& method,
                                     const std::string& target, const std::string& body = "",
                                     int timeoutMs = 5000);

}  // namespace quillmer::testing
