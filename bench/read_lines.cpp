// Benchmark driver: reads every line of FILE through the block reader as
// byte views and prints the line count and the bytes seen.
#include <cstdio>

#include "base/Exception.h"
#include "textio/BlockTextReader.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  try {
    lorvant::TBlockTextReader reader;
    reader.Open(argv[1]);
    long long lines = 0, bytes = 0;
    while (reader.ReadLine()) {
      ++lines;
      bytes += static_cast<long long>(reader.CurrentBytes().size());
    }
    std::printf("%lld lines, %lld bytes\n", lines, bytes);
  } catch (const lorvant::Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
