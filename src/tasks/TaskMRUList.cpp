#include "tasks/TaskMRUList.h"

#include <string_view>
#include <utility>

#include "infra/Env.h"
#include "infra/Exception.h"
#include "infra/SystemUtil.h"
#include "infra/Unicode.h"
#include "textio/CharsetUtil.h"

namespace lorvant {
namespace {

// The file's text as UTF-8 and the mark it began with ("" for none).
std::string Decode(std::string_view bytes, std::string* bom) {
  for (std::string_view mark : {kBomUtf8, kBomUtf16LE, kBomUtf16BE}) {
    if (bytes.substr(0, mark.size()) == mark) {
      *bom = mark;
      bytes.remove_prefix(mark.size());
      if (mark == kBomUtf8) return std::string(bytes);
      return Utf16ToUtf8(bytes, mark == kBomUtf16BE);
    }
  }
  bom->clear();
  return std::string(bytes);  // the 8-bit code page, which is UTF-8 here
}

std::string Encode(const std::string& text, const std::string& bom) {
  if (bom == kBomUtf16LE || bom == kBomUtf16BE) return bom + Utf8ToUtf16(text, bom == kBomUtf16BE);
  return bom + text;
}

// Lines end at CR LF, LF or CR; a line end after the last line adds no
// empty line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') {
      ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    } else if (pos < text.size()) {
      ++pos;  // LF
    }
  }
  return lines;
}

}  // namespace

TTaskMRUList::TTaskMRUList(std::string file_name) : FileName(std::move(file_name)) {
  if (Env::Default()->Stat(FileName).exists) {
    Items = SplitLines(Decode(ReadWholeFile(FileName), &bom_));
  }
}

void TTaskMRUList::Add(const TTaskDesc& desc) {
  std::string line = desc.ToText();
  // A file name may hold a line break here; written as it is, it would cut
  // the record in two and leave two broken lines in the list.
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  Items.insert(Items.begin(), std::move(line));
  if (Items.size() > kMaxItems) Items.pop_back();
  std::string text;
  for (const std::string& item : Items) text += item + "\r\n";
  WriteFileAtomically(FileName, Encode(text, bom_));
}

void TTaskMRUList::GetItem(int index, TTaskDesc* desc) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  desc->FromText(Items[static_cast<size_t>(index)]);
}

std::string RecentTaskListFile() { return GetAppDataFolder("Lorvant") + "recent_tasks.txt"; }

}  // namespace lorvant
