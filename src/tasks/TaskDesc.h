// One recent-task record: when a run started, its automatic task copy and
// the name of the file it split; stored as "Time|TaskFile|SourceName".
#pragma once

#include <string>

namespace lorvant {

class TTaskDesc {
 public:
  std::string Time;        // "yyyy-mm-dd hh:nn:ss"
  std::string TaskFile;    // full path of the automatic task copy
  std::string SourceName;  // file name of the source, without folder

  // Trims the line, cuts it at every "|" and takes the first three pieces.
  // Fewer than three pieces: throws EListError (the record is partly set).
  void FromText(const std::string& line);
  std::string ToText() const { return Time + "|" + TaskFile + "|" + SourceName; }
};

}  // namespace lorvant
