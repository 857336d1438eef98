// Benchmark driver: prints the line count of FILE as the counter sees it.
#include <cstdio>

#include "textio/TxtFileLineCounter.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::printf("%lld\n", static_cast<long long>(lorvant::TTxtFileLineCounter::CountLines(argv[1])));
  return 0;
}
