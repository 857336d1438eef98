// The solution lookup of error reports: a message about an office database
// file that this program cannot open gets the advice to install the
// database engine, and a keyword the vendor's page can answer with.
#pragma once

#include <string>

namespace lorvant {

class TOfficeVersionSolution {
 public:
  // Reads the registered office database program's architecture and version.
  TOfficeVersionSolution();
  // For tests: the program's architecture ("x86"/"x64") and version text
  // ("v12.0.0 build 1"); an empty version means none is registered.
  TOfficeVersionSolution(std::string access_architecture, std::string access_version);

  std::string Text;                     // the text searched last
  std::string AppArchitecture = "x86";  // this program, as reports give it
  std::string AccessArchitecture;       // the office database program's
  std::string Solution;                 // the advice found, or ""
  std::string Keyword;                  // its keyword, or ""

  // Looks for a known solution to text; true (Solution and Keyword set)
  // when one applies.
  bool Search(const std::string& text);

 private:
  std::string access_version_;
};

}  // namespace lorvant
