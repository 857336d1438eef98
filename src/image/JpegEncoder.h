// JPEG encoding through libjpeg, for the screenshot an error report
// carries. Pixels come in as 8-bit RGB rows; the result is the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lorvant {

// The JPEG file (baseline, 4:2:0) of a width x height RGB image whose rows
// are bytes_per_line apart, at quality 1..100. Throws Exception when the
// image is empty or libjpeg fails.
std::string EncodeJpeg(const uint8_t* rgb, int width, int height, size_t bytes_per_line,
                       int quality);

}  // namespace lorvant
