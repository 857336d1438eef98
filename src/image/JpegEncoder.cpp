#include "image/JpegEncoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

#include "base/Exception.h"

namespace lorvant {
namespace {

// libjpeg's own error handler ends the process; this one jumps back to
// Compress instead. A C++ exception must not cross libjpeg's C frames.
struct TJpegError {
  jpeg_error_mgr mgr;  // first, so that libjpeg's pointer to it is ours too
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

struct TFreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};

// Warnings would go to stderr; none of them makes the file unusable.
void OnMessage(j_common_ptr) {}

// Compresses into *out (malloc'ed, the caller frees it even on failure).
// Returns false with error->message set when libjpeg failed. Everything the
// jump returns to lives in the caller's frame, and nothing here needs a
// destructor, since longjmp skips them.
bool Compress(const uint8_t* rgb, int width, int height, size_t bytes_per_line, int quality,
              jpeg_compress_struct* cinfo, unsigned char** out, unsigned long* out_size,
              TJpegError* error) {
  cinfo->err = jpeg_std_error(&error->mgr);
  error->mgr.error_exit = OnError;
  error->mgr.output_message = OnMessage;
  if (setjmp(error->jump) != 0) {
    // The memory destination tells where its buffer went only when it
    // terminates; until then *out may name one it already replaced.
    if (cinfo->dest != nullptr && *out != nullptr) cinfo->dest->term_destination(cinfo);
    jpeg_destroy_compress(cinfo);
    return false;
  }
  jpeg_create_compress(cinfo);
  jpeg_mem_dest(cinfo, out, out_size);
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + cinfo->next_scanline * bytes_per_line);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return true;
}

}  // namespace

std::string EncodeJpeg(const uint8_t* rgb, int width, int height, size_t bytes_per_line,
                       int quality) {
  if (rgb == nullptr || width <= 0 || height <= 0) {
    throw Exception("Cannot encode an empty image.");
  }
  jpeg_compress_struct cinfo{};
  TJpegError error{};
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  const bool ok =
      Compress(rgb, width, height, bytes_per_line, quality, &cinfo, &out, &out_size, &error);
  const std::unique_ptr<unsigned char, TFreeDeleter> owned(out);
  if (!ok) throw Exception(std::string("Cannot encode the image as JPEG: ") + error.message);
  return std::string(reinterpret_cast<const char*>(out), out_size);
}

}  // namespace lorvant
