// INI files (task files) read and written by the system itself, following
// the profile rules: section and key names match without regard to case,
// values are replaced where they stand, other lines are kept, a UTF-16LE
// file with its mark stays so, new files are UTF-8 without mark, CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lorvant {

class TMyIniFile {
 public:
  // No file access yet; the file need not exist.
  explicit TMyIniFile(std::string file_name) : FileName(std::move(file_name)) {}
  TMyIniFile(const TMyIniFile&) = delete;
  TMyIniFile& operator=(const TMyIniFile&) = delete;

  const std::string FileName;

  // Value of ident in section, trimmed of blanks and one pair of enclosing
  // quotes, cut to 307200 characters; def when the file, section or key is
  // missing. The file is read once, at the first read, and every later read
  // answers from that snapshot, so the values read together belong to one
  // version of the file even while it is being replaced.

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& def) const;
  // Decimal, or hexadecimal with "$", "0x" or "0X"; def when empty or not a
  // number (also when out of the 32-bit range).
  int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def) const;
  // A switch: a number as ReadInteger reads it (0 off, any other on), or
  // yes/no, true/false, on/off in any letter case; def when empty or
  // missing; nullopt for any other text.
  std::optional<bool> ReadBool(const std::string& section, const std::string& ident,
                               bool def) const;
  // Replace or add, creating file and section as needed; the file is
  // replaced atomically. Throws EIniFileException "Unable to write to <file>".
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
  // Several values of one section in one atomic replacement of the file, so
  // a crash never leaves some of them old and some new.
  using IniValues = std::vector<std::pair<std::string, std::string>>;
  void WriteStrings(const std::string& section, const IniValues& values);

  // Forgets the snapshot: the next read reads the file again.
  void Reload() { loaded_ = false; }

  // Largest value length ReadString returns, in characters.
  static constexpr size_t kMaxValueLength = 307200;

 private:
  // The file's bytes as last read or written; false when it could not be read.
  bool Snapshot(std::string* bytes) const;

  mutable bool loaded_ = false;
  mutable bool readable_ = false;
  mutable std::string bytes_;
};

}  // namespace lorvant
