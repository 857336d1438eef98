// Whole-line scans over byte text already in memory, for the split engine's
// bulk paths: many lines per call instead of one, with no per-line call.
// Both stop before the first line they cannot take as it is, which then
// goes the line-by-line way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lorvant {

// Counts the lines at the start of p[0, n) that each end in CR LF, at most
// max_lines; stops before a line that ends otherwise (LF alone, CR alone)
// or whose end is not complete within n. *used: the bytes those lines take.
int64_t ScanCrLfLines(const char* p, size_t n, int64_t max_lines, size_t* used);

// Copies the lines at the start of p[0, n) that end in a lone LF to out,
// each with CR LF as its end, at most max_lines, while they fit in cap
// bytes. p[0, n) must hold no CR. *used: source bytes taken; *written:
// bytes written; *full: stopped because the next line did not fit.
int64_t CopyLfLinesAsCrLf(const char* p, size_t n, int64_t max_lines, char* out, size_t cap,
                          size_t* used, size_t* written, bool* full);

// Counts the lines at the start of p[0, n) whatever their ends (LF, CR LF
// or a lone CR), at most max_lines; stops before a line whose end is not
// complete within n (a CR at n - 1 counts as a line end only when at_end,
// since an LF may follow). *used: the bytes those lines take, ends included.
int64_t ScanAnyLines(const char* p, size_t n, int64_t max_lines, bool at_end, size_t* used);

}  // namespace lorvant
