#include "ui/VersionLabel.h"

#include "base/TextUtil.h"
#include "os/SystemInfo.h"
#include "os/VersionUtil.h"

namespace lorvant {

std::string FillVersionMask(const std::string& mask, const std::string& text) {
  const VersionParts parts = SplitVersion(text);
  const std::string values[] = {parts.major, parts.minor, parts.release, parts.build};
  std::string out;
  size_t from = 0;
  for (const std::string& value : values) {
    const size_t at = mask.find("%s", from);
    if (at == std::string::npos) break;
    out += mask.substr(from, at - from) + value;
    from = at + 2;
  }
  return out + mask.substr(from);
}

TVersionLabel::TVersionLabel(QWidget* parent) : QLabel(parent) {}

void TVersionLabel::SetMask(const std::string& mask) {
  if (mask == mask_) return;
  mask_ = mask;
  Refresh();
}

void TVersionLabel::SetFileName(const std::string& name) {
  if (SameTextIgnoreCase(name, file_name_)) return;
  file_name_ = GetExeName();
  Refresh();
}

void TVersionLabel::Refresh() {
  setText(QString::fromStdString(FillVersionMask(mask_, GetFileVersionString(file_name_))));
}

}  // namespace lorvant
