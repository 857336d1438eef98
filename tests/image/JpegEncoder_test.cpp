#include "image/JpegEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "base/Exception.h"

namespace lorvant {
namespace {

struct TDecoded {
  int width = 0, height = 0;
  bool baseline = false;
  int luma_h_sampling = 0, luma_v_sampling = 0;
  std::vector<uint8_t> rgb;  // rows of width * 3 bytes
};

struct TDecodeError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void OnDecodeError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TDecodeError*>(cinfo->err)->jump, 1);
}

// Decodes jpeg into *out; false when libjpeg rejects it. What the jump
// returns to lives in the caller's frame.
bool DecodeInto(const std::string& jpeg, jpeg_decompress_struct* cinfo, TDecodeError* error,
                TDecoded* out) {
  cinfo->err = jpeg_std_error(&error->mgr);
  error->mgr.error_exit = OnDecodeError;
  if (setjmp(error->jump) != 0) {
    jpeg_destroy_decompress(cinfo);
    return false;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
  jpeg_read_header(cinfo, TRUE);
  out->baseline = !cinfo->progressive_mode && cinfo->num_components == 3;
  out->luma_h_sampling = cinfo->comp_info[0].h_samp_factor;
  out->luma_v_sampling = cinfo->comp_info[0].v_samp_factor;
  cinfo->out_color_space = JCS_RGB;
  jpeg_start_decompress(cinfo);
  out->width = static_cast<int>(cinfo->output_width);
  out->height = static_cast<int>(cinfo->output_height);
  out->rgb.resize(cinfo->output_width * cinfo->output_height * 3);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = out->rgb.data() + cinfo->output_scanline * cinfo->output_width * 3;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return true;
}

TDecoded Decode(const std::string& jpeg) {
  jpeg_decompress_struct cinfo{};
  TDecodeError error{};
  TDecoded decoded;
  EXPECT_TRUE(DecodeInto(jpeg, &cinfo, &error, &decoded)) << "libjpeg cannot read it back";
  return decoded;
}

// A smooth RGB image whose rows carry padding after the pixels, as a
// screen grab's may.
struct TGradient {
  static constexpr int kWidth = 64, kHeight = 48;
  static constexpr size_t kBytesPerLine = kWidth * 3 + 7;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(kBytesPerLine * kHeight, 0xAB);
  TGradient() {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint8_t* p = &pixels[y * kBytesPerLine + x * 3];
        p[0] = static_cast<uint8_t>(x * 4);
        p[1] = static_cast<uint8_t>(y * 5);
        p[2] = static_cast<uint8_t>(128 + (x + y) / 2);
      }
    }
  }
  std::string Encode(int quality) const {
    return EncodeJpeg(pixels.data(), kWidth, kHeight, kBytesPerLine, quality);
  }
};

TEST(JpegEncoderTest, EncodesABaselineFileThatDecodesBackClose) {
  const TGradient image;
  const std::string jpeg = image.Encode(90);
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");

  const TDecoded decoded = Decode(jpeg);
  EXPECT_EQ(decoded.width, TGradient::kWidth);
  EXPECT_EQ(decoded.height, TGradient::kHeight);
  EXPECT_TRUE(decoded.baseline);
  EXPECT_EQ(decoded.luma_h_sampling, 2);
  EXPECT_EQ(decoded.luma_v_sampling, 2);
  ASSERT_EQ(decoded.rgb.size(), size_t{TGradient::kWidth * TGradient::kHeight * 3});
  int worst = 0;
  for (int y = 0; y < TGradient::kHeight; ++y) {
    for (int x = 0; x < TGradient::kWidth * 3; ++x) {
      const int want = image.pixels[y * TGradient::kBytesPerLine + x];
      const int got = decoded.rgb[(y * TGradient::kWidth * 3) + x];
      worst = std::max(worst, std::abs(want - got));
    }
  }
  EXPECT_LE(worst, 12);
}

TEST(JpegEncoderTest, ALowerQualityMakesASmallerFile) {
  const TGradient image;
  EXPECT_LT(image.Encode(10).size(), image.Encode(95).size());
}

TEST(JpegEncoderTest, AnEmptyImageIsRefused) {
  const uint8_t pixels[3 * 4] = {};
  struct Case {
    const uint8_t* rgb;
    int width, height;
  };
  for (const Case& c : {Case{nullptr, 2, 2}, Case{pixels, 0, 2}, Case{pixels, 2, 0},
                        Case{pixels, -1, 2}, Case{pixels, 2, -5}}) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    try {
      EncodeJpeg(c.rgb, c.width, c.height, 6, 90);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Cannot encode an empty image.");
    }
  }
}

// libjpeg's own complaint (here: too wide for the format) ends as an
// Exception instead of ending the process.
TEST(JpegEncoderTest, ALibjpegFailureThrows) {
  const int width = 70000;
  const std::vector<uint8_t> row(width * 3, 0x40);
  try {
    EncodeJpeg(row.data(), width, 1, row.size(), 90);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("65500"), std::string::npos) << e.Message();
  }
}

}  // namespace
}  // namespace lorvant
