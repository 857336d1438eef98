// Encodings of source text: byte-order marks, encoding names, decoders, and
// the one decision both the line counter and the block reader use to tell
// what a line end looks like in a file (so they always agree on lines).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/TextUtil.h"

namespace lorvant {

inline constexpr char kEncodingUtf8[] = "UTF-8";
inline constexpr char kEncodingUnicode[] = "Unicode";  // UTF-16LE
inline constexpr char kEncodingUnicodeBigEndian[] = "Unicode Big Endian";
inline constexpr char kEncodingAnsi[] = "Ansi";  // the locale's set: UTF-8 that never fails
inline constexpr char kEncodingAutoDetect[] = "Auto Detect";

inline constexpr char kBomUtf8[] = "\xEF\xBB\xBF";
inline constexpr char kBomUtf16LE[] = "\xFF\xFE";
inline constexpr char kBomUtf16BE[] = "\xFE\xFF";

// The mark at the start of a file: EF BB BF, FE FF, FF FE or "".
// Throws EFOpenError when the file cannot be opened (or is a folder).
std::string GetFileBOM(const std::string& file_name);
// "UTF-8", "Unicode", "Unicode Big Endian", or "Ansi" for anything else.
std::string BOMToEncodingName(std::string_view bom);
// For a file without mark: "Unicode Big Endian" when bytes 0 and 2 are zero,
// "Unicode" when bytes 1 and 3 are, else "UTF-8". Throws EFOpenError.
std::string DetectEncodingWithoutBOM(const std::string& file_name);
// The mark's name, else DetectEncodingWithoutBOM. Throws EFOpenError.
std::string GetFileEncodingName(const std::string& file_name);

// How a file's lines are laid out in bytes.
enum class LineUnit { kByte, kUtf16LE, kUtf16BE };

struct TextLayout {
  std::string bom;  // mark bytes at the file's start (may be "")
  LineUnit unit = LineUnit::kByte;
  std::string encoding_name;  // the decoder's name: a mark's name, "Unicode..." or "Ansi"
};

// Decides the layout from a file's first (up to four) bytes and its size.
// A file without mark whose first four bytes hold zeros in the UTF-16
// pattern is UTF-16 without mark.
TextLayout DetectTextLayout(std::string_view head, int64_t file_size);

// Decodes bytes with the decoder `encoding_name` selects: strict "UTF-8"
// yields "" for invalid input; "Unicode"/"Unicode Big Endian" and every
// other name ("Ansi") never fail.
std::string DecodeBytes(std::string_view bytes, const std::string& encoding_name);

// A text file's bytes as UTF-8 text, decoded by its mark (UTF-16 marks are
// converted; a UTF-8 mark or none leaves the bytes as they are), and the
// mark found ("" for none) in *bom.
std::string DecodeTextFile(std::string_view bytes, std::string* bom);
// Loads a text file (encoding from its mark; UTF-8 without), returns its
// lines each followed by CR LF. Throws EFOpenError.
std::string ReadTextFile(const std::string& file_name);

}  // namespace lorvant
