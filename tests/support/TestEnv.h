// Test support: every test process runs with HOME and the XDG folders in a
// temporary folder of its own, so no test touches the real user's files.
#pragma once

#include <string>

namespace lorvant::test {

// The per-process temporary root (HOME points here).
const std::string& TestRoot();

// A fresh, empty folder below TestRoot().
std::string MakeTempDir(const std::string& hint = "t");

// Writes bytes to a file, creating or replacing it; aborts the test on error.
void WriteBytes(const std::string& path, const std::string& bytes);
// Reads a whole file as bytes ("" when missing).
std::string ReadBytes(const std::string& path);
bool PathExists(const std::string& path);

}  // namespace lorvant::test
