// Writes a deterministic CSV-like text file of a given size for benchmarks:
// gen_data FILE SIZE_MIB [lf|crlf|csv]. csv: LF lines where every 10th
// record has a quoted field (with a comma and a doubled quote) and every
// 100th one a quoted line break.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gen_data FILE SIZE_MIB [lf|crlf|csv]\n");
    return 2;
  }
  const long long target = std::atoll(argv[2]) * 1024LL * 1024LL;
  const char* eol = argc > 3 && std::strcmp(argv[3], "crlf") == 0 ? "\r\n" : "\n";
  const bool csv = argc > 3 && std::strcmp(argv[3], "csv") == 0;
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::mt19937_64 rng(42);
  static const char* kCities[] = {"Lisbon", "Oslo", "Kyoto", "Quito", "Dakar", "Perth", "Lima"};
  std::string buf;
  long long written = 0, id = 0;
  char line[256];
  while (written < target) {
    buf.clear();
    while (buf.size() < (1 << 20)) {
      unsigned long long r = rng();
      ++id;
      const char* status = (r & 1) ? "paid" : "open";
      if (csv && id % 100 == 0) {
        status = "\"held,\nsee \"\"note\"\"\"";
      } else if (csv && id % 10 == 0) {
        status = "\"paid, \"\"late\"\"\"";
      }
      int n = std::snprintf(line, sizeof(line), "%lld,%s,%llu.%02llu,customer_%llu,%s%s", id,
                            kCities[r % 7], (r >> 8) % 100000, (r >> 24) % 100, (r >> 32) % 1000000,
                            status, eol);
      buf.append(line, static_cast<size_t>(n));
    }
    if (written + static_cast<long long>(buf.size()) > target) {
      // End on a whole line.
      size_t keep = static_cast<size_t>(target - written);
      size_t cut = buf.rfind('\n', keep == 0 ? 0 : keep - 1);
      buf.resize(cut == std::string::npos ? 0 : cut + 1);
      if (buf.empty()) break;
    }
    std::fwrite(buf.data(), 1, buf.size(), out);
    written += static_cast<long long>(buf.size());
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
