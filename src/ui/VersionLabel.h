// A label showing the running program's version through a mask with four
// "%s" places (major, minor, release, build).
#pragma once

#include <QLabel>
#include <string>

namespace lorvant {

class TVersionLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TVersionLabel(QWidget* parent = nullptr);

  const std::string& FileName() const { return file_name_; }
  const std::string& Mask() const { return mask_; }
  // A different mask is stored and the caption refreshed.
  void SetMask(const std::string& mask);
  // A name that differs (ignoring case) stores the running program's path
  // instead and refreshes: the label always shows this program's version.
  void SetFileName(const std::string& name);

 private:
  void Refresh();

  std::string file_name_;
  std::string mask_ = "Version %s.%s (Release %s Build %s)";
};

// mask with its first four "%s" replaced by the parts, in order.
std::string FillVersionMask(const std::string& mask, const std::string& text);

}  // namespace lorvant
