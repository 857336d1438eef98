#include "tasks/TaskMRUList.h"

#include <string_view>
#include <utility>

#include "base/Exception.h"
#include "base/Unicode.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "os/Env.h"
#include "textio/CharsetUtil.h"

namespace lorvant {
namespace {

std::string Encode(const std::string& text, const std::string& bom) {
  if (bom == kBomUtf16LE || bom == kBomUtf16BE) return bom + Utf8ToUtf16(text, bom == kBomUtf16BE);
  return bom + text;
}

}  // namespace

TTaskMRUList::TTaskMRUList(std::string file_name) : FileName(std::move(file_name)) {
  if (Env::Default()->Stat(FileName).exists) {
    Items = SplitLines(DecodeTextFile(ReadWholeFile(FileName), &bom_));
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
