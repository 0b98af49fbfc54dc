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
#include <stdexcept>
#include <string>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include "base/shared_library.h"
#include "image/image_format.h"

namespace vantu::branding_package {

namespace {

// Longest decoder message kept.
constexpr std::size_t kMessageSize = 200;
// Pieces the decoders are fed in.
constexpr std::uint64_t kPieceSize = 64 << 10;
// The decoders' sonames in Debian.
constexpr const char* kPngLibrary = "libpng16.so.16";
constexpr const char* kJpegLibrary = "libjpeg.so.62";

// The decoders, opened on first use: loading them costs a build, which decodes nothing, more
// than its own work on a typical package.
struct PngFunctions {
  decltype(&::png_create_info_struct) createInfoStruct = nullptr;
  decltype(&::png_create_read_struct_2) createReadStruct = nullptr;
  decltype(&::png_destroy_read_struct) destroyReadStruct = nullptr;
  decltype(&::png_error) error = nullptr;
  decltype(&::png_get_error_ptr) getErrorPtr = nullptr;
  decltype(&::png_get_image_height) getImageHeight = nullptr;
  decltype(&::png_get_image_width) getImageWidth = nullptr;
  decltype(&::png_get_io_ptr) getIoPtr = nullptr;
  decltype(&::png_get_mem_ptr) getMemPtr = nullptr;
  decltype(&::png_get_rowbytes) getRowbytes = nullptr;
  decltype(&::png_longjmp) longjmp = nullptr;
  decltype(&::png_read_end) readEnd = nullptr;
  decltype(&::png_read_info) readInfo = nullptr;
  decltype(&::png_read_row) readRow = nullptr;
  decltype(&::png_read_update_info) readUpdateInfo = nullptr;
  decltype(&::png_set_interlace_handling) setInterlaceHandling = nullptr;
  decltype(&::png_set_longjmp_fn) setLongjmpFn = nullptr;
  decltype(&::png_set_read_fn) setReadFn = nullptr;
  decltype(&::png_set_user_limits) setUserLimits = nullptr;
};

struct JpegFunctions {
  decltype(&::jpeg_CreateDecompress) createDecompress = nullptr;
  decltype(&::jpeg_destroy_decompress) destroyDecompress = nullptr;
  decltype(&::jpeg_finish_decompress) finishDecompress = nullptr;
  decltype(&::jpeg_read_header) readHeader = nullptr;
  decltype(&::jpeg_read_scanlines) readScanlines = nullptr;
  decltype(&::jpeg_resync_to_restart) resyncToRestart = nullptr;
  decltype(&::jpeg_start_decompress) startDecompress = nullptr;
  decltype(&::jpeg_std_error) stdError = nullptr;
};

// Throws when the library cannot be loaded: an installation fault, not the image's.
void Require(const SharedLibrary& library, const char* soname) {
  if (!library.Complete()) {
    throw std::runtime_error(std::string("cannot load the image decoder ") + soname + ": " +
                             library.Problem());
  }
}

const PngFunctions& Png() {
  static const PngFunctions* const loaded = [] {
    static PngFunctions png;
    static SharedLibrary library(kPngLibrary);
    library.Find("png_create_info_struct", png.createInfoStruct);
    library.Find("png_create_read_struct_2", png.createReadStruct);
    library.Find("png_destroy_read_struct", png.destroyReadStruct);
    library.Find("png_error", png.error);
    library.Find("png_get_error_ptr", png.getErrorPtr);
    library.Find("png_get_image_height", png.getImageHeight);
    library.Find("png_get_image_width", png.getImageWidth);
    library.Find("png_get_io_ptr", png.getIoPtr);
    library.Find("png_get_mem_ptr", png.getMemPtr);
    library.Find("png_get_rowbytes", png.getRowbytes);
    library.Find("png_longjmp", png.longjmp);
    library.Find("png_read_end", png.readEnd);
    library.Find("png_read_info", png.readInfo);
    library.Find("png_read_row", png.readRow);
    library.Find("png_read_update_info", png.readUpdateInfo);
    library.Find("png_set_interlace_handling", png.setInterlaceHandling);
    library.Find("png_set_longjmp_fn", png.setLongjmpFn);
    library.Find("png_set_read_fn", png.setReadFn);
    library.Find("png_set_user_limits", png.setUserLimits);
    Require(library, kPngLibrary);
    return &png;
  }();
  return *loaded;
}

const JpegFunctions& Jpeg() {
  static const JpegFunctions* const loaded = [] {
    static JpegFunctions jpeg;
    static SharedLibrary library(kJpegLibrary);
    library.Find("jpeg_CreateDecompress", jpeg.createDecompress);
    library.Find("jpeg_destroy_decompress", jpeg.destroyDecompress);
    library.Find("jpeg_finish_decompress", jpeg.finishDecompress);
    library.Find("jpeg_read_header", jpeg.readHeader);
    library.Find("jpeg_read_scanlines", jpeg.readScanlines);
    library.Find("jpeg_resync_to_restart", jpeg.resyncToRestart);
    library.Find("jpeg_start_decompress", jpeg.startDecompress);
    library.Find("jpeg_std_error", jpeg.stdError);
    Require(library, kJpegLibrary);
    return &jpeg;
  }();
  return *loaded;
}

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
          PixelSize(width, height) + " pixels, more than the " + std::to_string(kMaxDecodedPixels) +
              " decoded"};
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
  if (memory == nullptr) static_cast<PngState*>(Png().getMemPtr(png))->outOfMemory = true;
  return memory;
}

void PngFree(png_structp /*png*/, png_voidp memory) { std::free(memory); }

void PngRead(png_structp png, png_bytep out, png_size_t size) {
  auto* state = static_cast<PngState*>(Png().getIoPtr(png));
  if (!ReadNext(*state->input, out, size)) Png().error(png, "the data ends early");
}

void PngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngState*>(Png().getErrorPtr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  Png().longjmp(png, 1);
}

void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// Returns an Outcome; on failure state->message says why.
int DecodePngRows(png_structp png, png_infop info, std::vector<unsigned char>& row,
                  png_uint_32& width, png_uint_32& height) {
  const PngFunctions& api = Png();
  // png_jmpbuf, through the loaded library.
  if (setjmp(*api.setLongjmpFn(png, std::longjmp, sizeof(std::jmp_buf))) != 0) return kFailed;
  api.readInfo(png, info);
  width = api.getImageWidth(png, info);
  height = api.getImageHeight(png, info);
  if (std::uint64_t{width} * height > kMaxDecodedPixels) return kTooManyPixels;
  // Checked before libpng allocates its row buffers.
  const std::uint64_t rowBytes = api.getRowbytes(png, info);
  if (rowBytes > kMaxRowBytes) {
    std::snprintf(static_cast<PngState*>(api.getErrorPtr(png))->message, kMessageSize,
                  "rows of %llu bytes, more than the %llu decoded",
                  static_cast<unsigned long long>(rowBytes),
                  static_cast<unsigned long long>(kMaxRowBytes));
    return kFailed;
  }
  const int passes = api.setInterlaceHandling(png);
  api.readUpdateInfo(png, info);
  row.resize(api.getRowbytes(png, info));
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) api.readRow(png, row.data(), nullptr);
  }
  api.readEnd(png, nullptr);
  return kDecoded;
}

DecodedImage DecodePng(Input& input) {
  const PngFunctions& api = Png();
  PngState state{&input, "unknown problem", false};
  png_structp png = api.createReadStruct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning,
                                         &state, PngAllocate, PngFree);
  png_infop info = png == nullptr ? nullptr : api.createInfoStruct(png);
  if (info == nullptr) {
    api.destroyReadStruct(&png, nullptr, nullptr);
    return Result(kFailed, "cannot set up the PNG decoder", 0, 0);
  }
  api.setReadFn(png, &state, PngRead);
  // Dimensions the limit allows at all; the product is checked after the header.
  api.setUserLimits(png, kMaxDecodedPixels, kMaxDecodedPixels);
  std::vector<unsigned char> row;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int outcome = kFailed;
  try {
    outcome = DecodePngRows(png, info, row, width, height);
  } catch (const std::bad_alloc&) {
    state.outOfMemory = true;
  }
  api.destroyReadStruct(&png, &info, nullptr);
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
  const JpegFunctions& api = Jpeg();
  api.readHeader(&info, TRUE);
  if (std::uint64_t{info.image_width} * info.image_height > kMaxDecodedPixels) {
    return kTooManyPixels;
  }
  if (!WithinJpegBounds(info, state, size)) return kFailed;
  JpegProgress(reinterpret_cast<j_common_ptr>(&info));
  api.startDecompress(&info);
  row.resize(std::size_t{info.output_width} * static_cast<std::size_t>(info.output_components));
  JSAMPROW rows[1] = {row.data()};
  while (info.output_scanline < info.output_height) api.readScanlines(&info, rows, 1);
  api.finishDecompress(&info);
  return kDecoded;
}

DecodedImage DecodeJpeg(Input& input) {
  const JpegFunctions& api = Jpeg();
  jpeg_decompress_struct info{};
  JpegState state{};
  std::snprintf(state.message, sizeof state.message, "unknown problem");
  info.err = api.stdError(&state.errors);
  state.errors.error_exit = JpegFail;
  state.errors.emit_message = JpegMessage;
  // jpeg_create_decompress, through the loaded library.
  api.createDecompress(&info, JPEG_LIB_VERSION, sizeof info);
  info.mem->max_memory_to_use = static_cast<long>(kMaxJpegMemory);
  state.maxScans = UINT64_MAX;
  state.progress.progress_monitor = JpegProgress;
  info.progress = &state.progress;
  JpegSource source{};
  source.input = &input;
  source.manager.init_source = JpegInit;
  source.manager.fill_input_buffer = JpegFill;
  source.manager.skip_input_data = JpegSkip;
  source.manager.resync_to_restart = api.resyncToRestart;
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
  api.destroyDecompress(&info);
  return Result(state.outOfMemory ? kOutOfMemory : outcome, state.message, width, height);
}

}  // namespace

DecodedImage DecodeImage(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                         std::uint32_t format) {
  Input input{&source, offset, offset + size, std::vector<unsigned char>(kPieceSize)};
  return format == kFormatPng ? DecodePng(input) : DecodeJpeg(input);
}

}  // namespace vantu::branding_package
