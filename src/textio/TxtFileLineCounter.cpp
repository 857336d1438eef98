#include "textio/TxtFileLineCounter.h"

#include <cstring>
#include <memory>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/Exception.h"
#include "base/Unicode.h"
#include "os/Env.h"
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
  // Per 32 bytes: LFs, and CRs whose next byte (loaded one byte further on)
  // is not an LF, summed in byte lanes and folded every 255 rounds.
  __attribute__((target("avx2"))) void Avx2(const unsigned char* p, size_t n) {
    if (n == 0) return;
    if (pending_cr) {
      if (p[0] != '\n') ++ends;
      pending_cr = false;
    }
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    while (i + 33 <= n) {
      __m256i lanes = zero;
      for (int round = 0; round < 255 && i + 33 <= n; ++round, i += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
        __m256i is_lf = _mm256_cmpeq_epi8(v, lf);
        __m256i lone_cr =
            _mm256_andnot_si256(_mm256_cmpeq_epi8(next, lf), _mm256_cmpeq_epi8(v, cr));
        lanes = _mm256_sub_epi8(lanes, _mm256_or_si256(is_lf, lone_cr));
      }
      __m256i sums = _mm256_sad_epu8(lanes, zero);
      ends += _mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
              _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3);
    }
    Scalar(p + i, n - i);
  }
#endif

  void Add(const unsigned char* p, size_t n) {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
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
      unsigned u = Utf16Unit(p + i, be);
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
  int64_t lines = 0;
  return TryCount(&lines) ? lines : 0;
}

bool TTxtFileLineCounter::TryCount(int64_t* lines, FileInfo* info) {
  *lines = 0;
  try {
    auto file = Env::Default()->OpenForRead(FileName);
    const FileInfo opened = file->Info();
    if (info != nullptr) *info = opened;
    const int64_t size = opened.size;
    auto buf = std::make_unique<unsigned char[]>(chunk_size_);
    auto* p = buf.get();
    bool cancelled = false;
    auto read_full = [&](size_t want) -> size_t {
      if (Cancel != nullptr && Cancel->load(std::memory_order_relaxed)) {
        cancelled = true;
        return 0;
      }
      return ReadFully(*file, reinterpret_cast<char*>(p), want);
    };
    size_t n = read_full(chunk_size_);
    if (n == 0) return !cancelled;
    // A size of 0 tells nothing (the kernel's own files report it and hold
    // bytes all the same): what was read decides, as in the reader.
    TextLayout layout = DetectTextLayout(std::string_view(reinterpret_cast<char*>(p), n),
                                         size > 0 ? size : static_cast<int64_t>(n));
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
      if (cancelled) return false;
      bool ends_with_line_end = total > static_cast<int64_t>(skip) && IsByteLineEnd(last);
      *lines = tally.Finish() + (ends_with_line_end ? 0 : 1);
      return true;
    }

    // UTF-16: chunks are even-sized, so units never straddle two chunks;
    // a lone last byte belongs to the last line.
    UnitTally tally(layout.unit == LineUnit::kUtf16BE);
    size_t even = (n - skip) & ~size_t{1};
    tally.Add(p + skip, even);
    bool odd_tail = ((n - skip) & 1) != 0;
    const bool be = layout.unit == LineUnit::kUtf16BE;
    unsigned last_unit = even > 0 ? Utf16Unit(p + skip + even - 2, be) : 0xFFFF;
    bool any_unit = even > 0;
    while (!odd_tail && (n = read_full(chunk_size_)) > 0) {
      even = n & ~size_t{1};
      odd_tail = (n & 1) != 0;
      tally.Add(p, even);
      if (even > 0) {
        any_unit = true;
        last_unit = Utf16Unit(p + even - 2, be);
      }
    }
    if (cancelled) return false;
    bool ends_with_line_end = !odd_tail && any_unit && (last_unit == 0x0A || last_unit == 0x0D);
    *lines = tally.Finish() + (ends_with_line_end ? 0 : 1);
    return true;
  } catch (const Exception&) {
    *lines = 0;
    return false;
  }
}

}  // namespace lorvant
