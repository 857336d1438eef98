#include "os/VersionUtil.h"

#include <elf.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "os/Env.h"

#ifndef LORVANT_VERSION_TEXT
#error "The build must define LORVANT_VERSION_TEXT (major.minor.release.build)"
#endif

namespace lorvant {
namespace {

// The marker read back by GetFileVersionString from the executable's file;
// `used` keeps the compiler from dropping it.
__attribute__((used)) const char kEmbeddedMarker[] = "\0LORVANT-FILE-VERSION=" LORVANT_VERSION_TEXT;

const char kUnknownVersion[] = "x.x.x.x";
constexpr size_t kMaxVersionLength = 64;
constexpr size_t kScanBufferSize = 65536;

// "\0LORVANT-FILE-VERSION=", kept reversed in the binary so that the scan of
// the program's own file finds only the real marker, not its search key.
std::string MarkerKey() {
  const std::string reversed = "=NOISREV-ELIF-TNAVROL";
  std::string key(1, '\0');
  key.append(reversed.rbegin(), reversed.rend());
  return key;
}

bool IsVersionText(std::string_view text) {
  if (text.empty() || text.size() > kMaxVersionLength) return false;
  for (char c : text) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

// The error number to report for a file that could not be opened; Env
// reports only the message, so the likely reason is inferred.
// Scans the file for the marker. Returns 0 and sets *version when found,
// ENODATA when the file has none, or the error number of a failed open/read.
int FindVersion(const std::string& file_name, std::string* version) {
  std::unique_ptr<SequentialFile> file;
  try {
    file = Env::Default()->OpenForRead(file_name);
  } catch (const Exception& e) {
    return e.ErrorNumber() != 0 ? e.ErrorNumber() : EACCES;
  }
  const std::string key = MarkerKey();
  const std::boyer_moore_horspool_searcher searcher(key.begin(), key.end());
  // Bytes carried into the next round, so that a marker split across two
  // reads is still found whole.
  const size_t carry = key.size() + kMaxVersionLength + 1;
  std::vector<char> buf(kScanBufferSize);
  std::string window;
  try {
    while (size_t n = file->Read(buf.data(), buf.size())) {
      window.append(buf.data(), n);
      auto from = window.cbegin();
      while (true) {
        auto hit = std::search(from, window.cend(), searcher);
        if (hit == window.cend()) break;
        size_t begin = static_cast<size_t>(hit - window.cbegin()) + key.size();
        size_t end = window.find('\0', begin);
        if (end != std::string::npos &&
            IsVersionText(std::string_view(window).substr(begin, end - begin))) {
          *version = window.substr(begin, end - begin);
          return 0;
        }
        from = hit + 1;
      }
      if (window.size() > carry) window.erase(0, window.size() - carry);
    }
  } catch (const Exception& e) {
    return e.ErrorNumber() != 0 ? e.ErrorNumber() : EIO;
  }
  return ENODATA;
}

// Four decimal parts of at most 65535 each, as a version resource holds them.
bool ParseFourNumbers(const std::string& text, unsigned out[4]) {
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    size_t digits = 0;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      if (value > 65535) return false;
      ++pos;
      ++digits;
    }
    if (digits == 0) return false;
    out[i] = value;
    if (i < 3) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
  }
  return pos == text.size();
}

}  // namespace

std::string VersionMarker(const std::string& version) {
  return MarkerKey() + version + std::string(1, '\0');
}

std::string GetFileVersionString(const std::string& file_name) {
  std::string version;
  return FindVersion(file_name, &version) == 0 ? version : kUnknownVersion;
}

VersionParts SplitVersion(const std::string& text) {
  std::string parts[4];
  int count = 0;  // parts present in text
  size_t start = 0;
  while (count < 4) {
    size_t dot = count < 3 ? text.find('.', start) : std::string::npos;
    parts[count++] = text.substr(start, dot == std::string::npos ? dot : dot - start);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  for (int i = 0; i < 4; ++i) {
    if (i >= count || (i < 3 && parts[i].empty())) parts[i] = "x";
  }
  return {parts[0], parts[1], parts[2], parts[3]};
}

std::string GetFileVersionMajorMinor(const std::string& file_name) {
  VersionParts parts = SplitVersion(GetFileVersionString(file_name));
  return parts.major + "." + parts.minor;
}

std::string GetFileVersionInfoText(const std::string& file_name) {
  std::string version;
  char buf[512];
  int err = FindVersion(file_name, &version);
  if (err != 0) {
    std::snprintf(buf, sizeof(buf), "GetFileVersionInfo failed: (%d) %s", err,
                  SystemErrorText(err).c_str());
    return buf;
  }
  unsigned n[4];
  if (!ParseFourNumbers(version, n)) return "";
  std::snprintf(buf, sizeof(buf), "v%u.%u.%u build %u", n[0], n[1], n[2], n[3]);
  return buf;
}

std::string GetAppVersionText() {
  std::string exe = GetExeName();
  std::string version = exe.empty() ? kUnknownVersion : GetFileVersionString(exe);
  // An executable that may be run but not read still knows its own version.
  if (version == kUnknownVersion) {
    version = kEmbeddedMarker + sizeof(kEmbeddedMarker) - sizeof(LORVANT_VERSION_TEXT);
  }
  return version + " (" + GetAppArchitecture() + ")";
}

std::string GetAppArchitecture() {
#if defined(__x86_64__)
  return "x64";
#elif defined(__i386__)
  return "x86";
#elif defined(__aarch64__)
  return "arm64";
#elif defined(__arm__)
  return "arm";
#else
  return sizeof(void*) == 8 ? "x64" : "x86";
#endif
}

std::string GetOSArchitecture() { return IsOS64Bit() ? "x64" : "x86"; }

std::string GetBinaryArchitecture(const std::string& file_name) {
  unsigned char header[20] = {};
  size_t got = 0;
  try {
    auto file = Env::Default()->OpenForRead(file_name);
    got = ReadFully(*file, reinterpret_cast<char*>(header), sizeof(header));
  } catch (const std::exception&) {
    return "x86";
  }
  if (got < sizeof(header) || header[EI_MAG0] != ELFMAG0 || header[EI_MAG1] != ELFMAG1 ||
      header[EI_MAG2] != ELFMAG2 || header[EI_MAG3] != ELFMAG3 || header[EI_CLASS] != ELFCLASS64) {
    return "x86";
  }
  const bool big = header[EI_DATA] == ELFDATA2MSB;
  auto half = [&](size_t at) {
    return big ? (header[at] << 8) | header[at + 1] : header[at] | (header[at + 1] << 8);
  };
  const int type = half(16), machine = half(18);
  const bool executable = type == ET_EXEC || type == ET_DYN;
  return executable && machine == EM_X86_64 ? "x64" : "x86";
}

}  // namespace lorvant
