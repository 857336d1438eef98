#include "net/CurlHttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/TestEnv.h"
#include "support/TestHttpServer.h"

namespace lorvant {
namespace {

using test::FormPart;
using test::TestHttpServer;

THttpPart Text(const std::string& name, const std::string& value) {
  THttpPart part;
  part.name = name;
  part.value = value;
  return part;
}

THttpPart File(const std::string& name, const std::string& path, const std::string& type) {
  THttpPart part = Text(name, path);
  part.is_file = true;
  part.content_type = type;
  return part;
}

// The message of the EHttpError that call throws; a test failure when none.
template <typename Call>
std::string HttpErrorOf(Call call) {
  try {
    call();
  } catch (const EHttpError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no EHttpError was thrown";
  return "";
}

TEST(CurlHttpClientTest, GetReturnsTheStatusAndBodyWhateverTheStatus) {
  struct Case {
    int status;
    std::string body;
  };
  for (const Case& c : {Case{200, "version=1.2.3\r\n"}, Case{404, "no such page"}, Case{500, ""}}) {
    SCOPED_TRACE(c.status);
    TestHttpServer server;
    server.Reply(c.status, c.body);
    TCurlHttpClient http;
    // The scheme is compared in any case.
    const THttpReply reply =
        http.Get("HTTP://" + server.BaseUrl().substr(7) + "/update/check?v=1&os=linux");
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.body, c.body);
    EXPECT_FALSE(reply.truncated);
    const std::vector<TestHttpServer::Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/update/check?v=1&os=linux");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Lorvant");
  }
}

TEST(CurlHttpClientTest, PostSendsThePartsInOrderWithTheirBytesUnchanged) {
  const std::string dir = test::MakeTempDir("post");
  const char kImage[] = "\xFF\xD8\xFF\x00\r\n--\x80\xFF\xD9";
  const std::string image(kImage, sizeof(kImage) - 1);
  test::WriteBytes(dir + "/shot.jpg", image);
  const char kText[] = "line 1\r\nline 2\n\xC3\xA9\xE2\x82\xAC \x00 end";
  const std::string text(kText, sizeof(kText) - 1);
  TestHttpServer server;
  server.Reply(200, "thanks");
  TCurlHttpClient http;
  const THttpReply reply =
      http.PostForm(server.BaseUrl() + "/report",
                    {Text("message", text), File("screenshot", dir + "/shot.jpg", "image/jpeg"),
                     Text("empty", "")});
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "thanks");

  const std::vector<TestHttpServer::Request> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/report");
  EXPECT_EQ(requests[0].Header("Expect"), "");
  const std::vector<FormPart> parts = test::ParseMultipart(requests[0]);
  ASSERT_EQ(parts.size(), 3u);
  const char kTextHeaders[] =
      "\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit";
  EXPECT_EQ(parts[0].headers_text,
            std::string("Content-Disposition: form-data; name=\"message\"") + kTextHeaders);
  EXPECT_EQ(parts[0].body, text);
  EXPECT_EQ(parts[1].headers_text,
            "Content-Disposition: form-data; name=\"screenshot\"; filename=\"shot.jpg\"\r\n"
            "Content-Type: image/jpeg");
  EXPECT_EQ(parts[1].body, image);
  EXPECT_EQ(parts[2].headers_text,
            std::string("Content-Disposition: form-data; name=\"empty\"") + kTextHeaders);
  EXPECT_EQ(parts[2].body, "");
}

TEST(CurlHttpClientTest, AnUnreadableFilePartThrowsAndSendsNothing) {
  const std::string dir = test::MakeTempDir("unreadable");
  for (const std::string& path : {dir + "/missing.jpg", dir}) {
    SCOPED_TRACE(path);
    TestHttpServer server;
    TCurlHttpClient http;
    const std::string message = HttpErrorOf([&] {
      http.PostForm(server.BaseUrl(), {Text("message", "text"), File("shot", path, "image/jpeg")});
    });
    EXPECT_EQ(message.rfind("Cannot open file \"" + path + "\". ", 0), 0u) << message;
    EXPECT_EQ(server.RequestCount(), 0u);
  }
}

TEST(CurlHttpClientTest, ARefusedConnectionThrows) {
  TCurlHttpClient http;
  const std::string message = HttpErrorOf([&] { http.Get(TestHttpServer::UnusedPortUrl()); });
  EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
}

TEST(CurlHttpClientTest, ASilentServerEndsInTheClientsTimeOut) {
  TestHttpServer server;
  server.NeverAnswer();
  TCurlHttpClient http({.connect_timeout_ms = 300, .total_timeout_ms = 300});
  EXPECT_NE(HttpErrorOf([&] { http.Get(server.BaseUrl()); }), "");
  EXPECT_NE(HttpErrorOf([&] { http.PostForm(server.BaseUrl(), {Text("a", "b")}); }), "");
}

TEST(CurlHttpClientTest, AReplyOverTheLimitIsCutAndFlagged) {
  std::string body;
  for (int i = 0; body.size() < 5000; ++i) body += std::to_string(i) + ",";
  body.resize(5000);
  for (size_t size : {size_t{999}, size_t{1000}, size_t{1001}, size_t{5000}}) {
    SCOPED_TRACE(size);
    TestHttpServer server;
    server.Reply(200, body.substr(0, size));
    TCurlHttpClient http({.max_reply_bytes = 1000});
    const THttpReply reply = http.Get(server.BaseUrl());
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, body.substr(0, std::min<size_t>(size, 1000)));
    EXPECT_EQ(reply.truncated, size > 1000);
  }
}

TEST(CurlHttpClientTest, OnlyHttpAndHttpsAddressesAreAllowed) {
  TestHttpServer server;
  const std::string host_port = server.BaseUrl().substr(7);
  TCurlHttpClient http;
  for (const std::string& url :
       {"ftp://" + host_port + "/", std::string("file:///etc/passwd"),
        "gopher://" + host_port + "/", host_port + "/", "httpx://" + host_port + "/"}) {
    SCOPED_TRACE(url);
    EXPECT_NE(HttpErrorOf([&] { http.Get(url); }).find("Only http and https addresses"),
              std::string::npos);
    EXPECT_NE(HttpErrorOf([&] {
                http.PostForm(url, {Text("a", "b")});
              }).find("Only http and https addresses"),
              std::string::npos);
  }
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(CurlHttpClientTest, ARequestCancelledBeforeItStartsSendsNothing) {
  TestHttpServer server;
  TCurlHttpClient http;
  const std::atomic<bool> cancel{true};
  EXPECT_EQ(HttpErrorOf([&] { http.Get(server.BaseUrl(), &cancel); }),
            "The request was cancelled.");
  EXPECT_EQ(HttpErrorOf([&] { http.PostForm(server.BaseUrl(), {Text("a", "b")}, &cancel); }),
            "The request was cancelled.");
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(CurlHttpClientTest, CancellingFromAnotherThreadEndsAWaitingRequest) {
  TestHttpServer server;
  server.NeverAnswer();
  // A time-out far beyond the cancel, so that only the cancel can end it.
  TCurlHttpClient http({.total_timeout_ms = 120000});
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    // Cancels once the request is waiting for its answer.
    for (int i = 0; i < 2000 && server.RequestCount() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    cancel = true;
  });
  EXPECT_EQ(HttpErrorOf([&] { http.Get(server.BaseUrl(), &cancel); }),
            "The request was cancelled.");
  canceller.join();
  EXPECT_EQ(server.RequestCount(), 1u);
}

}  // namespace
}  // namespace lorvant
