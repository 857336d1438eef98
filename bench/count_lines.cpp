// Benchmark driver: prints the line count of FILE as the counter sees it.
// count_lines FILE [CHUNK_BYTES]
#include <cstdio>
#include <cstdlib>

#include "textio/TxtFileLineCounter.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  size_t chunk =
      argc > 2 ? std::strtoull(argv[2], nullptr, 10) : lorvant::TTxtFileLineCounter::kChunkSize;
  lorvant::TTxtFileLineCounter counter(argv[1], chunk);
  std::printf("%lld\n", static_cast<long long>(counter.Count()));
  return 0;
}
