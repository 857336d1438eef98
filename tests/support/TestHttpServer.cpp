#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace lorvant::test {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

// A socket bound to 127.0.0.1 on a port the kernel chose; aborts on error,
// since no test can go on without it.
int BindLoopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("TestHttpServer bind");
    std::abort();
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

void SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    // A client that left must not end the test process with SIGPIPE.
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

// Decodes a chunked body from data; false until the last chunk is there.
bool Dechunk(const std::string& data, std::string* body) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    const size_t eol = data.find("\r\n", pos);
    if (eol == std::string::npos) return false;
    const size_t size = std::strtoul(data.substr(pos, eol - pos).c_str(), nullptr, 16);
    pos = eol + 2;
    if (size == 0) {
      // An empty line ends the body, after trailers if there are any.
      if (data.compare(pos, 2, "\r\n") != 0 && data.find("\r\n\r\n", pos) == std::string::npos) {
        return false;
      }
      break;
    }
    if (data.size() < pos + size + 2) return false;
    out.append(data, pos, size);
    pos += size + 2;
  }
  *body = std::move(out);
  return true;
}

// The value of a parameter (name="x") in a header value, quotes removed.
std::string Param(const std::string& value, const std::string& key) {
  size_t pos = 0;
  while (pos < value.size()) {
    bool quoted = false;
    size_t end = pos;
    while (end < value.size() && (quoted || value[end] != ';')) {
      if (value[end] == '"') quoted = !quoted;
      ++end;
    }
    const std::string item = Trim(value.substr(pos, end - pos));
    const size_t eq = item.find('=');
    if (eq != std::string::npos && Lower(Trim(item.substr(0, eq))) == key) {
      std::string v = Trim(item.substr(eq + 1));
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return v;
    }
    pos = end + 1;
  }
  return "";
}

}  // namespace

std::string TestHttpServer::Request::Header(const std::string& name) const {
  const std::string wanted = Lower(name);
  for (const auto& [key, value] : headers) {
    if (Lower(key) == wanted) return value;
  }
  return "";
}

TestHttpServer::TestHttpServer() {
  listen_fd_ = BindLoopback(&port_);
  if (::listen(listen_fd_, 16) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
    std::perror("TestHttpServer listen");
    std::abort();
  }
  thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
  const char byte = 0;
  while (::write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  for (int fd : held_) ::close(fd);
  ::close(listen_fd_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::string TestHttpServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void TestHttpServer::Reply(int status, std::string body) {
  std::lock_guard<std::mutex> lock(mu_);
  status_ = status;
  body_ = std::move(body);
  never_answer_ = false;
}

void TestHttpServer::NeverAnswer() {
  std::lock_guard<std::mutex> lock(mu_);
  never_answer_ = true;
}

std::vector<TestHttpServer::Request> TestHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

size_t TestHttpServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_.size();
}

std::string TestHttpServer::UnusedPortUrl() {
  int port = 0;
  ::close(BindLoopback(&port));
  return "http://127.0.0.1:" + std::to_string(port);
}

void TestHttpServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) Handle(fd);
  }
}

void TestHttpServer::Handle(int fd) {
  Request request;
  if (!ReadRequest(fd, &request)) {
    ::close(fd);
    return;
  }
  int status;
  std::string body;
  bool never_answer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(std::move(request));
    status = status_;
    body = body_;
    never_answer = never_answer_;
  }
  if (never_answer) {
    held_.push_back(fd);
    return;
  }
  SendAll(fd, "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                  "\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body);
  // Lets the client read the whole reply before the connection goes.
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

bool TestHttpServer::ReadMore(int fd, std::string* buffer) {
  for (;;) {
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[0].revents != 0) return false;
    char chunk[16384];
    const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer->append(chunk, static_cast<size_t>(n));
    return true;
  }
}

bool TestHttpServer::ReadRequest(int fd, Request* request) {
  std::string data;
  size_t head_end;
  while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
    if (!ReadMore(fd, &data)) return false;
  }
  const std::string head = data.substr(0, head_end);
  std::string rest = data.substr(head_end + 4);

  size_t line_end = head.find("\r\n");
  const std::string request_line = head.substr(0, line_end);
  const size_t sp1 = request_line.find(' ');
  const size_t sp2 = request_line.find(' ', sp1 + 1);
  request->method = request_line.substr(0, sp1);
  request->target = request_line.substr(sp1 + 1, sp2 - sp1 - 1);
  while (line_end != std::string::npos) {
    const size_t begin = line_end + 2;
    line_end = head.find("\r\n", begin);
    const std::string line = head.substr(begin, line_end - begin);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    request->headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
  }

  if (Lower(request->Header("Transfer-Encoding")).find("chunked") != std::string::npos) {
    while (!Dechunk(rest, &request->body)) {
      if (!ReadMore(fd, &rest)) return false;
    }
    return true;
  }
  const size_t length = std::strtoull(request->Header("Content-Length").c_str(), nullptr, 10);
  while (rest.size() < length) {
    if (!ReadMore(fd, &rest)) return false;
  }
  request->body = rest.substr(0, length);
  return true;
}

std::vector<FormPart> ParseMultipart(const TestHttpServer::Request& request) {
  std::vector<FormPart> parts;
  const std::string content_type = request.Header("Content-Type");
  const std::string boundary = Param(content_type, "boundary");
  if (Lower(content_type).rfind("multipart/form-data", 0) != 0 || boundary.empty()) {
    ADD_FAILURE() << "not a multipart/form-data request: " << content_type;
    return parts;
  }
  const std::string& body = request.body;
  const std::string delimiter = "--" + boundary;
  if (body.compare(0, delimiter.size(), delimiter) != 0) {
    ADD_FAILURE() << "the body does not start with the boundary";
    return parts;
  }
  size_t pos = delimiter.size();
  for (;;) {
    if (body.compare(pos, 2, "--") == 0) return parts;  // the closing delimiter
    if (body.compare(pos, 2, "\r\n") != 0) break;
    pos += 2;
    const size_t head_end = body.find("\r\n\r\n", pos);
    if (head_end == std::string::npos) break;
    const size_t next = body.find("\r\n" + delimiter, head_end + 4);
    if (next == std::string::npos) break;
    FormPart part;
    part.headers_text = body.substr(pos, head_end - pos);
    part.body = body.substr(head_end + 4, next - head_end - 4);
    size_t line_begin = 0;
    while (line_begin <= part.headers_text.size()) {
      size_t line_end = part.headers_text.find("\r\n", line_begin);
      if (line_end == std::string::npos) line_end = part.headers_text.size();
      const std::string line = part.headers_text.substr(line_begin, line_end - line_begin);
      line_begin = line_end + 2;
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      const std::string key = Lower(line.substr(0, colon));
      const std::string value = Trim(line.substr(colon + 1));
      if (key == "content-disposition") {
        part.name = Param(value, "name");
        part.filename = Param(value, "filename");
      } else if (key == "content-type") {
        part.content_type = value;
      } else if (key == "content-transfer-encoding") {
        part.transfer_encoding = value;
      }
    }
    parts.push_back(std::move(part));
    pos = next + 2 + delimiter.size();
  }
  ADD_FAILURE() << "malformed multipart body at byte " << pos;
  return parts;
}

}  // namespace lorvant::test
