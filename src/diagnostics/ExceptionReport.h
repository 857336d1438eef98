// What an error report holds and sends, apart from its window: the message
// as shown, the form fields in their order, the solution lookup, and the
// post to the vendor's report page. The dialog (ui/ExceptionReportDlg)
// shows it and decides what to include.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "net/HttpClient.h"

namespace lorvant {

// An ordered name=value list in which setting a name to "" removes it, so
// empty fields are never sent. Setting a present name replaces its value
// where it stands.
class TFormFields {
 public:
  void Set(const std::string& name, const std::string& value);
  // The value, or "" when the name is absent.
  std::string Get(const std::string& name) const;
  const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

class TExceptionReport {
 public:
  std::string ErrorMessage;
  TFormFields Fields;
  std::string Reply;   // the body of the endpoint's answer, "" until sent
  std::string Advice;  // the solution lookup's advice, "" when none

  // The text shown for message: "Assertion failure", "Memory Error" or
  // "Database Error" for those kinds of message, else message itself.
  static std::string ClassifyMessage(const std::string& message);

  // Sets ErrorMessage and the fields "app_name" to "msg", then looks for a
  // solution in message and, failing that, in debug_log; when one is found
  // sets Advice and "keyword".
  void Prepare(const std::string& message, const std::string& debug_log);

  // Sends the report: "screenshot" := screenshot_file (when given and
  // included), "log" := the debug log (when included), then the post.
  // Reply := the answer's body. Throws EHttpError when the post fails or
  // the answer has an error status (Reply stays "": an error page is not
  // shown as the endpoint's answer). The debug log is cleared only once the
  // endpoint has taken it, so a failed send loses nothing.
  void Send(THttpClient& http, const std::string& screenshot_file, bool include_log,
            const std::atomic<bool>* cancel = nullptr);

  // The fields as form parts: the one whose name contains "screenshot" is
  // a file part, its content type from the path ("mime/jpeg", "mime/gif",
  // "mime/png").
  std::vector<THttpPart> Parts() const;
};

// The vendor's report page.
std::string ReportExceptionUrl();
// The user name reports and update checks send: the "RegisterUser" setting,
// empty unless the user put a name there.
std::string RegisteredUserName();

}  // namespace lorvant
