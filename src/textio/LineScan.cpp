#include "textio/LineScan.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lorvant {
namespace {

int64_t ScanCrLfScalar(const char* p, size_t n, int64_t max_lines, size_t* used) {
  int64_t lines = 0;
  size_t end = 0;
  for (size_t i = 0; i < n && lines < max_lines; ++i) {
    const char c = p[i];
    if (c == '\n') break;  // an LF alone
    if (c == '\r') {
      if (i + 1 >= n || p[i + 1] != '\n') break;  // a CR alone, or its LF not read yet
      ++i;
      ++lines;
      end = i + 1;
    }
  }
  *used = end;
  return lines;
}

#if defined(__x86_64__)
// Per 32 bytes: the LFs must sit exactly one after each CR (the last CR's LF
// opens the next 32). A block where they do not goes to the scalar scan,
// from the start of the line it is in.
__attribute__((target("avx2,popcnt,lzcnt,bmi"))) int64_t ScanCrLfAvx2(const char* p, size_t n,
                                                                      int64_t max_lines,
                                                                      size_t* used) {
  const __m256i lf_byte = _mm256_set1_epi8('\n');
  const __m256i cr_byte = _mm256_set1_epi8('\r');
  int64_t lines = 0;
  size_t line_start = 0;
  uint32_t carry = 0;  // 1 when the previous block ended in a CR
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const uint32_t lf = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf_byte)));
    const uint32_t cr = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, cr_byte)));
    if (lf != ((cr << 1) | carry)) break;
    const int64_t count = _mm_popcnt_u32(lf);
    if (lines + count >= max_lines) {
      uint32_t m = lf;
      for (int64_t k = max_lines - lines - 1; k > 0; --k) m &= m - 1;
      *used = i + static_cast<size_t>(_tzcnt_u32(m)) + 1;
      return max_lines;
    }
    if (count > 0) line_start = i + 32 - _lzcnt_u32(lf);
    lines += count;
    carry = cr >> 31;
  }
  size_t rest = 0;
  lines += ScanCrLfScalar(p + line_start, n - line_start, max_lines - lines, &rest);
  *used = line_start + rest;
  return lines;
}
#endif

int64_t CopyLfScalar(const char* p, size_t n, int64_t max_lines, char* out, size_t cap,
                     size_t* used, size_t* written, bool* full) {
  int64_t lines = 0;
  size_t in = 0, o = 0;
  *full = false;
  while (lines < max_lines) {
    const void* lf = std::memchr(p + in, '\n', n - in);
    if (lf == nullptr) break;
    const size_t len = static_cast<size_t>(static_cast<const char*>(lf) - (p + in));
    if (cap - o < len + 2) {
      *full = true;
      break;
    }
    std::memcpy(out + o, p + in, len);
    out[o + len] = '\r';
    out[o + len + 1] = '\n';
    o += len + 2;
    in += len + 1;
    ++lines;
  }
  *used = in;
  *written = o;
  return lines;
}

#if defined(__x86_64__)
// Copies 32 bytes at a time and puts a CR before each LF in them; the bytes
// after an LF are copied again one further on. Stores may run past the line
// at hand, so a block is only taken while out has room for that.
__attribute__((target("avx2,bmi"))) int64_t CopyLfAvx2(const char* p, size_t n, int64_t max_lines,
                                                       char* out, size_t cap, size_t* used,
                                                       size_t* written, bool* full) {
  const __m256i lf_byte = _mm256_set1_epi8('\n');
  int64_t lines = 0;
  size_t in = 0, o = 0;  // the current line's start in p and in out
  for (size_t i = 0; i + 32 <= n && lines < max_lines; i += 32) {
    if (cap - o < (i - in) + 100) break;
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o + (i - in)), v);
    uint32_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf_byte)));
    while (mask != 0) {
      const size_t lf = i + _tzcnt_u32(mask);
      mask &= mask - 1;
      o += lf - in;
      out[o] = '\r';
      out[o + 1] = '\n';
      o += 2;
      in = lf + 1;
      if (++lines == max_lines) break;
      if (in + 32 <= n) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + in)));
      } else {
        std::memcpy(out + o, p + in, i + 32 - in);
      }
    }
  }
  size_t rest_used = 0, rest_written = 0;
  lines += CopyLfScalar(p + in, n - in, max_lines - lines, out + o, cap - o, &rest_used,
                        &rest_written, full);
  *used = in + rest_used;
  *written = o + rest_written;
  return lines;
}
#endif

}  // namespace

int64_t ScanCrLfLines(const char* p, size_t n, int64_t max_lines, size_t* used) {
  if (max_lines <= 0) {
    *used = 0;
    return 0;
  }
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                           __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("lzcnt");
  if (avx2) return ScanCrLfAvx2(p, n, max_lines, used);
#endif
  return ScanCrLfScalar(p, n, max_lines, used);
}

int64_t CopyLfLinesAsCrLf(const char* p, size_t n, int64_t max_lines, char* out, size_t cap,
                          size_t* used, size_t* written, bool* full) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
  if (avx2) return CopyLfAvx2(p, n, max_lines, out, cap, used, written, full);
#endif
  return CopyLfScalar(p, n, max_lines, out, cap, used, written, full);
}

int64_t ScanAnyLines(const char* p, size_t n, int64_t max_lines, bool at_end, size_t* used) {
  int64_t lines = 0;
  size_t in = 0;
  // Lines end at LFs up to the next CR; CRs are rare in most text, so
  // that stretch is found once and searched for LFs alone.
  const char* cr = static_cast<const char*>(std::memchr(p, '\r', n));
  size_t next_cr = cr ? static_cast<size_t>(cr - p) : n;
  while (lines < max_lines && in < n) {
    const void* lf = std::memchr(p + in, '\n', next_cr - in);
    if (lf != nullptr) {
      in = static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
      ++lines;
      continue;
    }
    if (next_cr == n) break;  // the rest holds no complete line
    if (next_cr + 1 < n) {
      in = next_cr + (p[next_cr + 1] == '\n' ? 2 : 1);
    } else if (at_end) {
      in = n;
    } else {
      break;  // a CR at the end: its LF may not be read yet
    }
    ++lines;
    cr = static_cast<const char*>(std::memchr(p + in, '\r', n - in));
    next_cr = cr ? static_cast<size_t>(cr - p) : n;
  }
  *used = in;
  return lines;
}

}  // namespace lorvant
