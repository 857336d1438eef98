#include "scheduler/Arguments.h"

#include "scheduler/SchedulerErrors.h"

namespace lorvant {

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 && c != '\t') {
      throw ETaskError("The arguments hold a control character, which is not allowed.");
    }
    if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '"') {
      size_t j = i + 1;
      for (; j < text.size() && text[j] != '"'; ++j) {
        if (text[j] == '\\' && j + 1 < text.size() && (text[j + 1] == '"' || text[j + 1] == '\\')) {
          ++j;
        }
        word += text[j];
      }
      if (j >= text.size()) throw ETaskError("The arguments have an unclosed double quote.");
      i = j;
    } else if (c == '\'') {
      size_t j = text.find('\'', i + 1);
      if (j == std::string::npos) throw ETaskError("The arguments have an unclosed single quote.");
      word += text.substr(i + 1, j - i - 1);
      i = j;
    } else {
      word += static_cast<char>(c);
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

}  // namespace lorvant
