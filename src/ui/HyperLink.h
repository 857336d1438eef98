// A label that works as a web link: blue and underlined; a click opens its
// address with the desktop's program and marks the link visited (purple).
// A failure to open shows the open-link table's message.
#pragma once

#include <functional>
#include <string>

#include "ui/LinkButton.h"

namespace lorvant {

class THyperLink : public TLinkButton {
  Q_OBJECT

 public:
  explicit THyperLink(QWidget* parent = nullptr);

  std::string URL;
  // Replaces the default click (open URL) by handler.
  void SetClickHandler(std::function<void()> handler) { handler_ = std::move(handler); }
  // Opens target; returns the desktop's code (above 32: success) after
  // showing the table's message for a failure.
  int Open(const std::string& target);

 private:
  void Clicked();

  std::function<void()> handler_;
};

}  // namespace lorvant
