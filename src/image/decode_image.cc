#include "image/decode_image.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <new>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include "image/image_format.h"

namespace vantu::branding_package {

namespace {

// Longest decoder message kept.
constexpr std::size_t kMessageSize = 200;
// Pieces the decoders are fed in.
constexpr std::uint64_t kPieceSize = 64 << 10;

// The bytes being decoded, read piece by piece.
struct Input {
  ByteSource* source;
  std::uint64_t next;  // the next byte to read
  std::uint64_t end;   // one past the last byte
  std::vector<unsigned char> piece;
};

// Fills out with the next size bytes; false past the end or on a read failure.
bool ReadNext(Input& input, unsigned char* out, std::uint64_t size) {
  if (size > input.end - input.next || !input.source->ReadAt(input.next, out, size)) return false;
  input.next += size;
  return true;
}

// How a decoder's run ended.
enum Outcome { kDecoded = 0, kFailed = 1, kTooManyPixels = 2, kOutOfMemory = 3 };

// The result of a run that ended with outcome; message is the decoder's reason on failure.
DecodedImage Result(int outcome, const char* message, std::uint32_t width, std::uint32_t height) {
  if (outcome == kOutOfMemory) throw std::bad_alloc();
  if (outcome == kDecoded) return {true, width, height, ""};
  if (outcome == kFailed) return {false, 0, 0, message};
  return {false, 0, 0,
          std::to_string(width) + "x" + std::to_string(height) + " pixels, more than the " +
              std::to_string(kMaxDecodedPixels) + " decoded"};
}

// libpng reports errors by longjmp; no object with a destructor lives in the frames it
// jumps over.
struct PngState {
  Input* input;
  char message[kMessageSize];
  bool outOfMemory;
};

// libpng's allocations, so that running out of memory is told apart from bad data.
png_voidp PngAllocate(png_structp png, png_alloc_size_t size) {
  void* memory = std::malloc(size);
  if (memory == nullptr) static_cast<PngState*>(png_get_mem_ptr(png))->outOfMemory = true;
  return memory;
}

void PngFree(png_structp /*png*/, png_voidp memory) { std::free(memory); }

void PngRead(png_structp png, png_bytep out, png_size_t size) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (!ReadNext(*state->input, out, size)) png_error(png, "the data ends early");
}

void PngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// Returns an Outcome; on failure state->message says why.
int DecodePngRows(png_structp png, png_infop info, std::vector<unsigned char>& row,
                  png_uint_32& width, png_uint_32& height) {
  if (setjmp(png_jmpbuf(png)) != 0) return kFailed;
  png_read_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  if (std::uint64_t{width} * height > kMaxDecodedPixels) return kTooManyPixels;
  // Checked before libpng allocates its row buffers.
  const std::uint64_t rowBytes = png_get_rowbytes(png, info);
  if (rowBytes > kMaxRowBytes) {
    std::snprintf(static_cast<PngState*>(png_get_error_ptr(png))->message, kMessageSize,
                  "rows of %llu bytes, more than the %llu decoded",
                  static_cast<unsigned long long>(rowBytes),
                  static_cast<unsigned long long>(kMaxRowBytes));
    return kFailed;
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  row.resize(png_get_rowbytes(png, info));
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, row.data(), nullptr);
  }
  png_read_end(png, nullptr);
  return kDecoded;
}

DecodedImage DecodePng(Input& input) {
  PngState state{&input, "unknown problem", false};
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning,
                                             &state, PngAllocate, PngFree);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return Result(kFailed, "cannot set up the PNG decoder", 0, 0);
  }
  png_set_read_fn(png, &state, PngRead);
  // Dimensions the limit allows at all; the product is checked after the header.
  png_set_user_limits(png, kMaxDecodedPixels, kMaxDecodedPixels);
  std::vector<unsigned char> row;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int outcome = kFailed;
  try {
    outcome = DecodePngRows(png, info, row, width, height);
  } catch (const std::bad_alloc&) {
    state.outOfMemory = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return Result(state.outOfMemory ? kOutOfMemory : outcome, state.message, width, height);
}

// libjpeg reports errors by calling error_exit, which must not return.
struct JpegState {
  jpeg_error_mgr errors;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[kMessageSize];
  bool outOfMemory;
  std::uint64_t maxScans;  // scans the work bound allows
  std::uint64_t blocks;    // blocks of all components
  std::uint64_t size;      // bytes of data
};

void JpegFail(j_common_ptr info) {
  auto* state = reinterpret_cast<JpegState*>(info->err);
  if (info->err->msg_code == JERR_OUT_OF_MEMORY) state->outOfMemory = true;
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  std::snprintf(state->message, sizeof state->message, "%s", text);
  std::longjmp(state->jump, 1);
}

// A warning means corrupt or truncated data, which the decoder would paper over.
void JpegMessage(j_common_ptr info, int level) {
  if (level < 0) JpegFail(info);
}

// The source manager: pieces of the input; its end before the image's end is a failure.
struct JpegSource {
  jpeg_source_mgr manager;
  Input* input;
};

void JpegInit(j_decompress_ptr /*info*/) {}
void JpegTerm(j_decompress_ptr /*info*/) {}

boolean JpegFill(j_decompress_ptr info) {
  auto* source = reinterpret_cast<JpegSource*>(info->src);
  Input& input = *source->input;
  const std::uint64_t left = input.end - input.next;
  const std::uint64_t want = left < kPieceSize ? left : kPieceSize;
  if (want == 0 || !ReadNext(input, input.piece.data(), want)) {
    auto* state = reinterpret_cast<JpegState*>(info->err);
    std::snprintf(state->message, sizeof state->message, "the data ends early");
    std::longjmp(state->jump, 1);
  }
  source->manager.next_input_byte = input.piece.data();
  source->manager.bytes_in_buffer = static_cast<std::size_t>(want);
  return TRUE;
}

void JpegSkip(j_decompress_ptr info, long count) {
  auto* source = reinterpret_cast<JpegSource*>(info->src);
  while (count > static_cast<long>(source->manager.bytes_in_buffer)) {
    count -= static_cast<long>(source->manager.bytes_in_buffer);
    JpegFill(info);
  }
  source->manager.next_input_byte += count;
  source->manager.bytes_in_buffer -= static_cast<std::size_t>(count);
}

// Called as the decoder reads each scan: the work bound ends a run that has too many.
void JpegProgress(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* state = reinterpret_cast<JpegState*>(info->err);
  if (static_cast<std::uint64_t>(info->input_scan_number) > state->maxScans) {
    std::snprintf(state->message, sizeof state->message,
                  "more than %llu scans of %llu blocks, more decoding than %llu bytes of data "
                  "justify",
                  static_cast<unsigned long long>(state->maxScans),
                  static_cast<unsigned long long>(state->blocks),
                  static_cast<unsigned long long>(state->size));
    std::longjmp(state->jump, 1);
  }
}

// Fails a run (false, with the reason in state) whose coefficients or scans would pass the
// bounds, before the decoder allocates or reads them; size is the data's length.
bool WithinJpegBounds(jpeg_decompress_struct& info, JpegState& state, std::uint64_t size) {
  std::uint64_t blocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    blocks += std::uint64_t{info.comp_info[c].width_in_blocks} * info.comp_info[c].height_in_blocks;
  }
  // Progressive and multi-scan images keep every coefficient: 64 of 2 bytes a block.
  const bool wholeImage = info.progressive_mode != 0 || info.comps_in_scan < info.num_components;
  const std::uint64_t coefficientBytes = blocks * 128;
  const std::uint64_t allowed = std::max(kMaxJpegMemory, kJpegMemoryPerByte * size);
  if (wholeImage && coefficientBytes > allowed) {
    std::snprintf(state.message, sizeof state.message,
                  "needs %llu bytes to decode, more than the %llu allowed for %llu bytes of data",
                  static_cast<unsigned long long>(coefficientBytes),
                  static_cast<unsigned long long>(allowed), static_cast<unsigned long long>(size));
    return false;
  }
  // The coefficients, and as much again for the decoder's other buffers.
  info.mem->max_memory_to_use = static_cast<long>(
      std::min<std::uint64_t>(kMaxJpegMemory + (wholeImage ? coefficientBytes : 0), LONG_MAX));
  state.blocks = blocks;
  state.size = size;
  state.maxScans = (kJpegWorkFloor + kJpegWorkPerByte * size) / (blocks == 0 ? 1 : blocks);
  return true;
}

// Returns an Outcome; on failure state.message says why.
int DecodeJpegRows(jpeg_decompress_struct& info, JpegState& state, std::vector<JSAMPLE>& row,
                   std::uint64_t size) {
  if (setjmp(state.jump) != 0) return kFailed;
  jpeg_read_header(&info, TRUE);
  if (std::uint64_t{info.image_width} * info.image_height > kMaxDecodedPixels) {
    return kTooManyPixels;
  }
  if (!WithinJpegBounds(info, state, size)) return kFailed;
  JpegProgress(reinterpret_cast<j_common_ptr>(&info));
  jpeg_start_decompress(&info);
  row.resize(std::size_t{info.output_width} * static_cast<std::size_t>(info.output_components));
  JSAMPROW rows[1] = {row.data()};
  while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, rows, 1);
  jpeg_finish_decompress(&info);
  return kDecoded;
}

DecodedImage DecodeJpeg(Input& input) {
  jpeg_decompress_struct info{};
  JpegState state{};
  std::snprintf(state.message, sizeof state.message, "unknown problem");
  info.err = jpeg_std_error(&state.errors);
  state.errors.error_exit = JpegFail;
  state.errors.emit_message = JpegMessage;
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = static_cast<long>(kMaxJpegMemory);
  state.maxScans = UINT64_MAX;
  state.progress.progress_monitor = JpegProgress;
  info.progress = &state.progress;
  JpegSource source{};
  source.input = &input;
  source.manager.init_source = JpegInit;
  source.manager.fill_input_buffer = JpegFill;
  source.manager.skip_input_data = JpegSkip;
  source.manager.resync_to_restart = jpeg_resync_to_restart;
  source.manager.term_source = JpegTerm;
  info.src = &source.manager;
  std::vector<JSAMPLE> row;
  int outcome = kFailed;
  try {
    outcome = DecodeJpegRows(info, state, row, input.end - input.next);
  } catch (const std::bad_alloc&) {
    state.outOfMemory = true;
  }
  const std::uint32_t width = info.image_width;
  const std::uint32_t height = info.image_height;
  jpeg_destroy_decompress(&info);
  return Result(state.outOfMemory ? kOutOfMemory : outcome, state.message, width, height);
}

}  // namespace

DecodedImage DecodeImage(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                         std::uint32_t format) {
  Input input{&source, offset, offset + size, std::vector<unsigned char>(kPieceSize)};
  return format == kFormatPng ? DecodePng(input) : DecodeJpeg(input);
}

}  // namespace vantu::branding_package
