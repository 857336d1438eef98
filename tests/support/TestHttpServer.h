// Test support: an HTTP/1.1 server on 127.0.0.1 that answers every request
// the same way and records what it was sent, so tests can check exactly
// what a client put on the wire; and a reader for multipart/form-data bodies.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lorvant::test {

class TestHttpServer {
 public:
  struct Request {
    std::string method;
    std::string target;  // path and query, as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;  // de-chunked when it came chunked
    // The first header of that name, in any case; "" when absent.
    std::string Header(const std::string& name) const;
  };

  // Listens on a port the kernel chose and serves on a thread of its own.
  TestHttpServer();
  // Stops serving, closing any connection it still holds, and joins.
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  // "http://127.0.0.1:<port>".
  std::string BaseUrl() const;
  // Every request from now on is answered with status and body (at first
  // 200 with an empty body) and the connection closed.
  void Reply(int status, std::string body);
  // Every request from now on is read and recorded, then never answered:
  // its connection stays open until the client leaves or the server stops.
  void NeverAnswer();
  // The requests read so far, oldest first.
  std::vector<Request> Requests() const;
  size_t RequestCount() const;

  // An address on 127.0.0.1 where nothing listens.
  static std::string UnusedPortUrl();

 private:
  void Serve();
  void Handle(int fd);
  // Appends what fd has to *buffer; false at its end, on error or on Stop.
  bool ReadMore(int fd, std::string* buffer);
  // Reads one whole request from fd; false when it did not come whole.
  bool ReadRequest(int fd, Request* request);

  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};  // written to once, to stop the thread
  int port_ = 0;
  std::vector<int> held_;  // connections kept open unanswered; thread only
  mutable std::mutex mu_;
  int status_ = 200;               // guarded by mu_
  std::string body_;               // guarded by mu_
  bool never_answer_ = false;      // guarded by mu_
  std::vector<Request> requests_;  // guarded by mu_
  std::thread thread_;
};

// One part of a multipart/form-data body.
struct FormPart {
  std::string headers_text;  // the part's header lines as sent, CRLF between
  std::string name, filename, content_type, transfer_encoding;
  std::string body;
};

// The parts of a multipart/form-data request, in order, with the boundary
// its Content-Type names. Adds a test failure when the body is malformed.
std::vector<FormPart> ParseMultipart(const TestHttpServer::Request& request);

}  // namespace lorvant::test
