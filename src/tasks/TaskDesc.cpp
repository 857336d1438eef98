#include "tasks/TaskDesc.h"

#include <vector>

#include "base/Exception.h"
#include "textio/CharsetUtil.h"

namespace lorvant {

void TTaskDesc::FromText(const std::string& line) {
  std::vector<std::string> pieces;
  SplitString(TrimText(line), '|', &pieces);
  Time = pieces[0];  // SplitString always yields at least one piece
  if (pieces.size() < 2) throw EListError(1);
  TaskFile = pieces[1];
  if (pieces.size() < 3) throw EListError(2);
  SourceName = pieces[2];
}

}  // namespace lorvant
