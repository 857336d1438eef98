// The office programs the error report describes: their paths as the user
// configured them in the settings store, their versions and architectures.
#pragma once

#include <string>

namespace lorvant {

// Paths of the office programs from the settings store ("AccessPath",
// "ExcelPath" under the product key; read values are created empty).
std::string GetAccessPath();
std::string GetExcelPath();
// GetFileVersionInfoText of that path; "" when the path is empty.
std::string GetAccessVersionText();
std::string GetExcelVersionText();
// GetBinaryArchitecture of that path; "x86" when the path is empty.
std::string GetAccessArchitecture();
std::string GetExcelArchitecture();

}  // namespace lorvant
