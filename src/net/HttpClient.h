// The HTTP client as the rest of the system sees it: one GET and one
// multipart/form-data POST, each keeping the limits every request here
// keeps (only http and https, connect and total time-outs, a reply cut at
// 1 MiB, cancellable). The real one is net/CurlHttpClient; callers take a
// THttpClient& so that tests can point them at a server of their own.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "base/Exception.h"

namespace lorvant {

// A request that could not be made or was not answered: bad address, name
// not resolved, refused, timed out, cancelled, a file part unreadable.
class EHttpError : public Exception {
 public:
  using Exception::Exception;
};

// One part of a form post. A text part carries value as its content with
// "Content-Type: text/plain; charset=UTF-8" and
// "Content-Transfer-Encoding: 8bit"; a file part carries the bytes of the
// file named by value, under that file's name, with content_type.
struct THttpPart {
  std::string name;
  std::string value;
  bool is_file = false;
  std::string content_type;  // file parts only
};

struct THttpReply {
  long status = 0;         // the HTTP status, 200 for OK
  std::string body;        // at most THttpLimits::max_reply_bytes of it
  bool truncated = false;  // the body was longer and was cut
};

struct THttpLimits {
  long connect_timeout_ms = 10000;
  long total_timeout_ms = 30000;
  size_t max_reply_bytes = 1 << 20;
};

class THttpClient {
 public:
  THttpClient() = default;
  virtual ~THttpClient() = default;
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // GETs url and returns the answer whatever its status. Throws EHttpError
  // when no answer arrives (see above), and when *cancel becomes true.
  virtual THttpReply Get(const std::string& url, const std::atomic<bool>* cancel = nullptr) = 0;
  // POSTs the parts, in their order, as multipart/form-data; as Get.
  virtual THttpReply PostForm(const std::string& url, const std::vector<THttpPart>& parts,
                              const std::atomic<bool>* cancel = nullptr) = 0;
};

}  // namespace lorvant
