// Time texts of a run: elapsed time, the remaining-time estimate, and the
// two timestamp patterns used for file names and list entries.
#pragma once

#include <cstdint>
#include <string>

#include "os/Clock.h"

namespace lorvant {

// "hh:nn:ss.zzz" (with_milliseconds) or "hh:nn:ss" with seconds rounded half
// to even; hours may exceed two digits. A rounded 60 carries into minutes.
std::string FormatElapsed(bool with_milliseconds, double ms);
// elapsed / (done / total) - elapsed, or 0 when done or total is 0.
double EstimateRemaining(int64_t done, int64_t total, double elapsed_ms);
// "yyyy_mm_dd_hh_nn_ss", for file names.
std::string FileTimestamp(const DateTime& t);
// "yyyy-mm-dd hh:nn:ss", for list entries.
std::string DisplayTimestamp(const DateTime& t);

}  // namespace lorvant
