#include "textio/CharsetUtil.h"
#include "base/TextUtil.h"

#include "base/Unicode.h"
#include "os/Env.h"

namespace lorvant {
namespace {

// The first up-to-n bytes of a file.
std::string ReadHead(const std::string& file_name, size_t n, int64_t* size) {
  auto file = Env::Default()->OpenForRead(file_name);
  *size = file->Info().size;
  std::string head(n, '\0');
  head.resize(ReadFully(*file, head.data(), n));
  return head;
}

std::string BomOf(std::string_view head) {
  if (head.size() >= 3 && head.substr(0, 3) == kBomUtf8) return kBomUtf8;
  if (head.size() >= 2 && head.substr(0, 2) == kBomUtf16BE) return kBomUtf16BE;
  if (head.size() >= 2 && head.substr(0, 2) == kBomUtf16LE) return kBomUtf16LE;
  return "";
}

std::string NameWithoutBom(std::string_view head) {
  if (head.size() >= 4) {
    if (head[0] == 0 && head[2] == 0) return kEncodingUnicodeBigEndian;
    if (head[1] == 0 && head[3] == 0) return kEncodingUnicode;
  }
  return kEncodingUtf8;
}

}  // namespace

std::string GetFileBOM(const std::string& file_name) {
  int64_t size;
  return BomOf(ReadHead(file_name, 3, &size));
}

std::string BOMToEncodingName(std::string_view bom) {
  if (bom == kBomUtf8) return kEncodingUtf8;
  if (bom == kBomUtf16LE) return kEncodingUnicode;
  if (bom == kBomUtf16BE) return kEncodingUnicodeBigEndian;
  return kEncodingAnsi;
}

std::string DetectEncodingWithoutBOM(const std::string& file_name) {
  int64_t size;
  return NameWithoutBom(ReadHead(file_name, 4, &size));
}

std::string GetFileEncodingName(const std::string& file_name) {
  int64_t size;
  std::string head = ReadHead(file_name, 4, &size);
  std::string bom = BomOf(head);
  return bom.empty() ? NameWithoutBom(head) : BOMToEncodingName(bom);
}

TextLayout DetectTextLayout(std::string_view head, int64_t file_size) {
  if (static_cast<int64_t>(head.size()) > file_size) head = head.substr(0, file_size);
  TextLayout layout;
  layout.bom = BomOf(head);
  std::string name = layout.bom.empty() ? NameWithoutBom(head) : BOMToEncodingName(layout.bom);
  if (name == kEncodingUnicode) {
    layout.unit = LineUnit::kUtf16LE;
  } else if (name == kEncodingUnicodeBigEndian) {
    layout.unit = LineUnit::kUtf16BE;
  } else if (layout.bom.empty()) {
    name = kEncodingAnsi;  // unmarked byte text is read in the locale's set
  }
  layout.encoding_name = name;
  return layout;
}

std::string DecodeBytes(std::string_view bytes, const std::string& encoding_name) {
  if (encoding_name == kEncodingUnicode) return Utf16ToUtf8(bytes, false);
  if (encoding_name == kEncodingUnicodeBigEndian) return Utf16ToUtf8(bytes, true);
  if (encoding_name == kEncodingUtf8) return IsValidUtf8(bytes) ? std::string(bytes) : "";
  return SanitizeUtf8(bytes);
}

std::string DecodeTextFile(std::string_view bytes, std::string* bom) {
  *bom = BomOf(bytes);
  bytes.remove_prefix(bom->size());
  if (*bom == kBomUtf16LE || *bom == kBomUtf16BE) return Utf16ToUtf8(bytes, *bom == kBomUtf16BE);
  return std::string(bytes);
}

std::string ReadTextFile(const std::string& file_name) {
  std::string bom;
  std::string out;
  for (const std::string& line : SplitLines(DecodeTextFile(ReadWholeFile(file_name), &bom))) {
    out += SanitizeUtf8(line);
    out += "\r\n";
  }
  return out;
}

}  // namespace lorvant
