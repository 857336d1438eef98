#include "textio/TxtFileLineCounter.h"

#include <cstring>
#include <memory>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "infra/Env.h"
#include "infra/Exception.h"
#include "textio/CharsetUtil.h"

namespace lorvant {
namespace {

// Line ends in a run of bytes: LFs plus CRs not followed by an LF. A CR at
// the run's end is settled by the next run (pending_cr).
struct ByteTally {
  int64_t ends = 0;
  bool pending_cr = false;

  void Scalar(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      unsigned char c = p[i];
      if (pending_cr && c != '\n') ++ends;
      pending_cr = c == '\r';
      ends += c == '\n';
    }
  }

#if defined(__x86_64__)
  __attribute__((target("avx2,popcnt"))) void Avx2(const unsigned char* p, size_t n) {
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    int64_t count = 0;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
      __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
      uint32_t lf_bits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf)));
      uint32_t cr_bits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, cr)));
      count += _mm_popcnt_u32(lf_bits);
      if (pending_cr && !(lf_bits & 1)) ++count;
      // CRs in bits 0..30 whose next byte is not an LF; bit 31 waits for
      // the next block.
      count += _mm_popcnt_u32(cr_bits & ~(lf_bits >> 1) & 0x7FFFFFFFu);
      pending_cr = (cr_bits >> 31) != 0;
    }
    ends += count;
    Scalar(p + i, n - i);
  }
#endif

  void Add(const unsigned char* p, size_t n) {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    if (avx2) {
      Avx2(p, n);
      return;
    }
#endif
    Scalar(p, n);
  }

  // At the end of the file a trailing CR ends its line.
  int64_t Finish() { return ends + (pending_cr ? 1 : 0); }
};

// Line ends in UTF-16 code units of either byte order.
struct UnitTally {
  explicit UnitTally(bool big_endian) : be(big_endian) {}
  bool be;
  int64_t ends = 0;
  bool pending_cr = false;

  void Add(const unsigned char* p, size_t n) {  // n is even
    for (size_t i = 0; i + 1 < n; i += 2) {
      unsigned u = be ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
      if (pending_cr && u != 0x0A) ++ends;
      pending_cr = u == 0x0D;
      ends += u == 0x0A;
    }
  }
  int64_t Finish() { return ends + (pending_cr ? 1 : 0); }
};

bool IsByteLineEnd(unsigned char c) { return c == '\n' || c == '\r'; }

}  // namespace

int64_t TTxtFileLineCounter::Count() {
  try {
    auto file = Env::Default()->OpenForRead(FileName);
    const int64_t size = file->Info().size;
    auto buf = std::make_unique<unsigned char[]>(chunk_size_);
    auto* p = buf.get();
    auto read_full = [&](size_t want) {
      size_t got = 0;
      while (got < want) {
        size_t r = file->Read(reinterpret_cast<char*>(p) + got, want - got);
        if (r == 0) break;
        got += r;
      }
      return got;
    };
    size_t n = read_full(chunk_size_);
    if (n == 0) return 0;
    TextLayout layout = DetectTextLayout(std::string_view(reinterpret_cast<char*>(p), n), size);
    const size_t skip = layout.bom.size();
    int64_t total = static_cast<int64_t>(n);

    if (layout.unit == LineUnit::kByte) {
      ByteTally tally;
      tally.Add(p + skip, n - skip);
      unsigned char last = p[n - 1];
      while ((n = read_full(chunk_size_)) > 0) {
        tally.Add(p, n);
        last = p[n - 1];
        total += static_cast<int64_t>(n);
      }
      bool ends_with_line_end = total > static_cast<int64_t>(skip) && IsByteLineEnd(last);
      return tally.Finish() + (ends_with_line_end ? 0 : 1);
    }

    // UTF-16: chunks are even-sized, so units never straddle two chunks;
    // a lone last byte belongs to the last line.
    UnitTally tally(layout.unit == LineUnit::kUtf16BE);
    size_t even = (n - skip) & ~size_t{1};
    tally.Add(p + skip, even);
    bool odd_tail = ((n - skip) & 1) != 0;
    unsigned last_unit = even > 0 ? (layout.unit == LineUnit::kUtf16BE
                                         ? (p[skip + even - 2] << 8 | p[skip + even - 1])
                                         : (p[skip + even - 1] << 8 | p[skip + even - 2]))
                                  : 0xFFFF;
    bool any_unit = even > 0;
    while (!odd_tail && (n = read_full(chunk_size_)) > 0) {
      even = n & ~size_t{1};
      odd_tail = (n & 1) != 0;
      tally.Add(p, even);
      if (even > 0) {
        any_unit = true;
        last_unit = layout.unit == LineUnit::kUtf16BE ? (p[even - 2] << 8 | p[even - 1])
                                                      : (p[even - 1] << 8 | p[even - 2]);
      }
    }
    bool ends_with_line_end = !odd_tail && any_unit && (last_unit == 0x0A || last_unit == 0x0D);
    return tally.Finish() + (ends_with_line_end ? 0 : 1);
  } catch (const Exception&) {
    return 0;
  }
}

}  // namespace lorvant
