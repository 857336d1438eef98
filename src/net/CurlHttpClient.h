// The HTTP client the windows use, on libcurl's easy interface: one handle
// a request, so a client may serve several threads one request at a time
// each. Kept out of the executable; only the windows' module loads libcurl.
#pragma once

#include "net/HttpClient.h"

namespace lorvant {

class TCurlHttpClient : public THttpClient {
 public:
  // A client whose every request keeps limits.
  explicit TCurlHttpClient(THttpLimits limits = {});

  THttpReply Get(const std::string& url, const std::atomic<bool>* cancel = nullptr) override;
  THttpReply PostForm(const std::string& url, const std::vector<THttpPart>& parts,
                      const std::atomic<bool>* cancel = nullptr) override;

 private:
  const THttpLimits limits_;
};

}  // namespace lorvant
