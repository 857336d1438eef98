// Version texts and architectures of executables. The program's version is
// compiled into its executable as a marked string ("LORVANT-FILE-VERSION="
// + major.minor.release.build, between zero bytes) and read back from the
// file, so any copy of the program reports the version it was built as.
#pragma once

#include <string>

#include "os/SystemInfo.h"  // IsOS64Bit

namespace lorvant {

// The bytes that mark version in a file, as the build embeds them.
std::string VersionMarker(const std::string& version);

// The version text marked in the file; "x.x.x.x" when the file holds no
// marker or cannot be read. Never throws.
std::string GetFileVersionString(const std::string& file_name);

// The four parts of a version text "A.B.C.D". An empty A, B or C reads "x";
// parts that are missing altogether (fewer than three '.') read "x" too.
struct VersionParts {
  std::string major, minor, release, build;
};
VersionParts SplitVersion(const std::string& text);

// "A.B" of the file's version text, for example "1.0".
std::string GetFileVersionMajorMinor(const std::string& file_name);

// "v%d.%d.%d build %d" from the file's version. When the file cannot be read
// or holds no marker: "GetFileVersionInfo failed: (%d) %s" with the error
// number and its text (ENODATA for a missing marker); "" when the marked
// text is not four numbers.
std::string GetFileVersionInfoText(const std::string& file_name);

// Version of the running executable followed by its architecture, for
// example "1.0.0.1 (x64)".
std::string GetAppVersionText();
// Architecture the program was built for: "x64", "x86", "arm64", ...
std::string GetAppArchitecture();
// "x64" on a 64-bit system, else "x86".
std::string GetOSArchitecture();
// "x64" for a 64-bit x86-64 ELF executable; "x86" otherwise and on any
// error. Never throws.
std::string GetBinaryArchitecture(const std::string& file_name);

}  // namespace lorvant
