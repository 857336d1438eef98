#include "net/CurlHttpClient.h"

#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <memory>
#include <mutex>

namespace lorvant {
namespace {

struct TCurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct TMimeDeleter {
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
struct TSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TCurlPtr = std::unique_ptr<CURL, TCurlDeleter>;
using TMimePtr = std::unique_ptr<curl_mime, TMimeDeleter>;
using TSlistPtr = std::unique_ptr<curl_slist, TSlistDeleter>;

const char kCancelled[] = "The request was cancelled.";

// curl_global_init is not thread-safe, and clients are made on any thread.
void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) throw EHttpError(curl_easy_strerror(rc));
  });
}

void Check(CURLcode rc) {
  if (rc != CURLE_OK) throw EHttpError(curl_easy_strerror(rc));
}

void ThrowIfCancelled(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load()) throw EHttpError(kCancelled);
}

// Checked here as well as by curl's protocol list, so that no other scheme
// (nor an address without one, which curl would guess at) reaches curl.
void CheckScheme(const std::string& url) {
  const size_t end = url.find("://");
  std::string scheme = end == std::string::npos ? "" : url.substr(0, end);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "http" && scheme != "https") {
    throw EHttpError("Only http and https addresses are allowed, not \"" + url + "\".");
  }
}

// curl would only find out during the transfer, with a vaguer message.
void CheckReadable(const std::string& path) {
  int error = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
  } else {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      error = errno;
    } else if (S_ISDIR(st.st_mode)) {
      error = EISDIR;
    }
    ::close(fd);
  }
  if (error != 0) throw EHttpError(EFOpenError(path, error).Message(), error);
}

// One transfer on a handle of its own, with the limits every request keeps.
class TRequest {
 public:
  TRequest(const std::string& url, const THttpLimits& limits, const std::atomic<bool>* cancel)
      : max_reply_bytes_(limits.max_reply_bytes), cancel_(cancel) {
    CheckScheme(url);
    ThrowIfCancelled(cancel);
    InitCurlOnce();
    curl_.reset(curl_easy_init());
    if (!curl_) throw EHttpError("Cannot start an HTTP request.");
    CURL* h = curl_.get();
    error_[0] = '\0';
    Check(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_));
    Check(curl_easy_setopt(h, CURLOPT_URL, url.c_str()));
    // curl's SIGALRM for name look-up time-outs is unsafe with several threads.
    Check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
    Check(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms));
    Check(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.total_timeout_ms));
    Check(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
    Check(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    Check(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L));
    Check(curl_easy_setopt(h, CURLOPT_USERAGENT, "Lorvant"));
    Check(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TRequest::OnWrite));
    Check(curl_easy_setopt(h, CURLOPT_WRITEDATA, this));
    Check(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &TRequest::OnProgress));
    Check(curl_easy_setopt(h, CURLOPT_XFERINFODATA, this));
    Check(curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L));
  }
  TRequest(const TRequest&) = delete;
  TRequest& operator=(const TRequest&) = delete;

  // Makes the request a multipart/form-data POST of parts, in their order.
  void SetForm(const std::vector<THttpPart>& parts) {
    CURL* h = curl_.get();
    mime_.reset(curl_mime_init(h));
    if (!mime_) Check(CURLE_OUT_OF_MEMORY);
    for (const THttpPart& part : parts) {
      curl_mimepart* p = curl_mime_addpart(mime_.get());
      if (p == nullptr) Check(CURLE_OUT_OF_MEMORY);
      Check(curl_mime_name(p, part.name.c_str()));
      if (part.is_file) {
        CheckReadable(part.value);
        Check(curl_mime_filedata(p, part.value.c_str()));
        if (!part.content_type.empty()) Check(curl_mime_type(p, part.content_type.c_str()));
      } else {
        // By size: a value may hold any byte, a zero one too.
        Check(curl_mime_data(p, part.value.data(), part.value.size()));
        Check(curl_mime_type(p, "text/plain; charset=UTF-8"));
        Check(curl_mime_encoder(p, "8bit"));
      }
    }
    Check(curl_easy_setopt(h, CURLOPT_MIMEPOST, mime_.get()));
    // Waiting for "100 Continue" only delays the post; servers seldom send it.
    headers_.reset(curl_slist_append(nullptr, "Expect:"));
    if (!headers_) Check(CURLE_OUT_OF_MEMORY);
    Check(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers_.get()));
  }

  // Runs the transfer; a reply cut at the limit is a reply, not a failure.
  THttpReply Perform() {
    ThrowIfCancelled(cancel_);
    const CURLcode rc = curl_easy_perform(curl_.get());
    if (rc == CURLE_ABORTED_BY_CALLBACK) throw EHttpError(kCancelled);
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && truncated_)) {
      throw EHttpError(error_[0] != '\0' ? error_ : curl_easy_strerror(rc));
    }
    THttpReply reply;
    Check(curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &reply.status));
    reply.body = std::move(body_);
    reply.truncated = truncated_;
    return reply;
  }

 private:
  static size_t OnWrite(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<TRequest*>(user);
    const size_t n = size * count;
    const size_t room = self->max_reply_bytes_ - self->body_.size();
    if (n > room) {
      self->body_.append(data, room);
      self->truncated_ = true;
      return 0;  // ends the transfer
    }
    self->body_.append(data, n);
    return n;
  }

  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* self = static_cast<TRequest*>(user);
    return self->cancel_ != nullptr && self->cancel_->load() ? 1 : 0;
  }

  const size_t max_reply_bytes_;
  const std::atomic<bool>* const cancel_;
  // Declared before the handle, which uses them, so that they outlive it.
  TMimePtr mime_;
  TSlistPtr headers_;
  TCurlPtr curl_;
  char error_[CURL_ERROR_SIZE];
  std::string body_;
  bool truncated_ = false;
};

}  // namespace

TCurlHttpClient::TCurlHttpClient(THttpLimits limits) : limits_(limits) {}

THttpReply TCurlHttpClient::Get(const std::string& url, const std::atomic<bool>* cancel) {
  TRequest request(url, limits_, cancel);
  return request.Perform();
}

THttpReply TCurlHttpClient::PostForm(const std::string& url, const std::vector<THttpPart>& parts,
                                     const std::atomic<bool>* cancel) {
  TRequest request(url, limits_, cancel);
  request.SetForm(parts);
  return request.Perform();
}

}  // namespace lorvant
