// Benchmark helper: writes a split task file.
// split_task TASK_FILE SOURCE DEST_FOLDER MAX_LINES [KEY=VALUE...]
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: split_task TASK SOURCE DEST MAX_LINES\n");
    return 2;
  }
  FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr) return 1;
  std::fprintf(f, "[Split]\r\nSourceFile=%s\r\nDestFolder=%s\r\nMaxLines=%s\r\n", argv[2], argv[3],
               argv[4]);
  for (int i = 5; i < argc; ++i) std::fprintf(f, "%s\r\n", argv[i]);  // options
  return std::fclose(f) == 0 ? 0 : 1;
}
