// libjpeg behind the JPEG functions: error trap, decoder and encoder owners, file destination.
#include "images/jpeg.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return. It jumps back to
// the setjmp of RunTrapped; the structures themselves are released by the RAII owners below, so
// no path leaves a decompressor or compressor allocated.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  int code = 0;
  char text[JMSG_LENGTH_MAX] = {};  // the library's own words for the error
  bool interrupted = false;         // the run was cancelled while reading or writing
  bool outOfMemory = false;         // the destination could not grow; not a library error
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  trap->code = info->err->msg_code;
  (*info->err->format_message)(info, trap->text);
  std::longjmp(trap->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

jpeg_error_mgr* InstallTrap(ErrorTrap& trap) {
  jpeg_std_error(&trap.manager);
  trap.manager.error_exit = JumpOnError;
  trap.manager.emit_message = IgnoreMessage;  // warnings and trace messages
  trap.manager.output_message = IgnoreOutput;
  return &trap.manager;
}

// Runs body with the trap armed. A fatal error jumps out of body, so body must own nothing that
// needs a destructor; it may only use objects that live outside.
// A library error is kind's: the picture's when reading it, the output's when writing one.
template <typename Body>
void RunTrapped(ErrorTrap& trap, const Body& body, ErrorKind kind = ErrorKind::kJpeg) {
  if (setjmp(trap.jump) != 0) {
    if (trap.interrupted) throw InterruptedError();
    if (trap.outOfMemory) throw Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory);
    throw Error(kind, messages::JpegError(trap.code), trap.text);
  }
  body();
}

// Checks the run's stop from inside the library's long passes: a progressive stream is read
// whole in jpeg_start_decompress and written whole in jpeg_finish_compress, seconds each for a
// large picture. The library calls the monitor once per row of blocks in every pass.
struct StopWatch {
  jpeg_progress_mgr manager{};
  std::stop_token stop;
  ErrorTrap* trap = nullptr;

  template <typename Info>
  void Watch(Info& info, ErrorTrap& errors, std::stop_token token) {
    stop = std::move(token);
    trap = &errors;
    manager.progress_monitor = [](j_common_ptr common) {
      auto* watch = reinterpret_cast<StopWatch*>(common->progress);
      if (!watch->stop.stop_requested()) return;
      watch->trap->interrupted = true;
      (*common->err->error_exit)(common);
    };
    info.progress = &manager;
  }
};

class Decompressor {
 public:
  Decompressor() {
    std::memset(&info_, 0, sizeof info_);
    info_.err = InstallTrap(trap_);
    RunTrapped(trap_, [this] { jpeg_create_decompress(&info_); });
  }
  ~Decompressor() { jpeg_destroy_decompress(&info_); }  // safe after a failed create
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct& info() { return info_; }
  ErrorTrap& trap() { return trap_; }

  // Reads the header of data, which must outlive the decompressor's use of it.
  void ReadHeader(std::string_view data) {
    RunTrapped(trap_, [&] {
      jpeg_mem_src(&info_, reinterpret_cast<const unsigned char*>(data.data()),
                   static_cast<unsigned long>(data.size()));
      jpeg_read_header(&info_, TRUE);
    });
  }

 private:
  jpeg_decompress_struct info_;
  ErrorTrap trap_;
};

class Compressor {
 public:
  Compressor() {
    std::memset(&info_, 0, sizeof info_);
    info_.err = InstallTrap(trap_);
    RunTrapped(
        trap_, [this] { jpeg_create_compress(&info_); }, ErrorKind::kOutput);
  }
  ~Compressor() { jpeg_destroy_compress(&info_); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  jpeg_compress_struct& info() { return info_; }
  ErrorTrap& trap() { return trap_; }

 private:
  jpeg_compress_struct info_;
  ErrorTrap trap_;
};

// CMYK as libjpeg hands it out, to RGB. Pictures with an Adobe marker store the inks inverted
// (Photoshop's habit), so there 255 means no ink.
void CmykRowToRgb(const JSAMPLE* cmyk, std::uint8_t* rgb, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const unsigned ink = inverted ? cmyk[c] : 255u - cmyk[c];
      rgb[c] = static_cast<std::uint8_t>((ink * k + 127) / 255);
    }
  }
}

}  // namespace

JpegHeader ReadJpegHeader(std::string_view data) {
  Decompressor decompressor;
  decompressor.ReadHeader(data);
  jpeg_decompress_struct& info = decompressor.info();
  JpegHeader header;
  header.width = static_cast<std::int32_t>(info.image_width);
  header.height = static_cast<std::int32_t>(info.image_height);
  header.progressive = jpeg_has_multiple_scans(&info) != 0;
  if (!header.progressive) return header;
  // The library keeps one block of 64 coefficients per 8 x 8 samples of every component, its
  // rows and columns rounded up to whole sampling units.
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    const auto RoundUp = [](std::size_t blocks, int unit) {
      const auto u = static_cast<std::size_t>(unit);
      return (blocks + u - 1) / u * u;
    };
    header.coefficientBytes += RoundUp(component.width_in_blocks, component.h_samp_factor) *
                               RoundUp(component.height_in_blocks, component.v_samp_factor) *
                               sizeof(JBLOCK);
  }
  return header;
}

JpegPicture LoadJpegPicture(std::string data) {
  JpegPicture picture;
  picture.data = std::move(data);
  if (picture.data.empty()) return picture;
  const JpegHeader header = ReadJpegHeader(picture.data);
  picture.width = header.width;
  picture.height = header.height;
  picture.progressive = header.progressive;
  return picture;
}

void RefuseEmptyStream() {
  Decompressor decompressor;
  decompressor.ReadHeader(std::string());
  throw Error(ErrorKind::kJpeg, messages::JpegError(JERR_INPUT_EMPTY));  // libjpeg raised nothing
}

void DecodeJpegRows(const std::string& data, int stripRows, const RowSink& sink,
                    std::stop_token stop) {
  Decompressor decompressor;
  decompressor.ReadHeader(data);
  jpeg_decompress_struct& info = decompressor.info();
  StopWatch watch;
  watch.Watch(info, decompressor.trap(), std::move(stop));
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  RunTrapped(decompressor.trap(), [&] { jpeg_start_decompress(&info); });

  const std::size_t width = info.output_width;
  const std::size_t rowBytes = width * 3;
  const std::size_t stripBytes = rowBytes * static_cast<std::size_t>(stripRows);
  std::vector<std::uint8_t> strip(stripBytes);
  std::vector<JSAMPLE> cmykRow(cmyk ? width * 4 : 0);
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(stripRows));
  const bool inverted = info.saw_Adobe_marker != 0;

  const int height = static_cast<int>(info.output_height);
  for (int firstRow = 0; firstRow < height; firstRow += stripRows) {
    const int count = std::min(stripRows, height - firstRow);
    RunTrapped(decompressor.trap(), [&] {
      for (int done = 0; done < count;) {
        std::uint8_t* target = strip.data() + rowBytes * static_cast<std::size_t>(done);
        if (cmyk) {
          JSAMPROW row = cmykRow.data();
          if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
          CmykRowToRgb(cmykRow.data(), target, info.output_width, inverted);
          ++done;
        } else {
          for (int r = done; r < count; ++r) {
            rows[static_cast<std::size_t>(r - done)] =
                strip.data() + rowBytes * static_cast<std::size_t>(r);
          }
          const JDIMENSION read =
              jpeg_read_scanlines(&info, rows.data(), static_cast<JDIMENSION>(count - done));
          if (read == 0) break;  // only past the last row, which the loop never asks for
          done += static_cast<int>(read);
        }
      }
    });
    sink(strip.data(), firstRow, count);
  }
  RunTrapped(decompressor.trap(), [&] { jpeg_finish_decompress(&info); });
}

namespace {

// Quality 90 with baseline-limited tables, progressive when asked, into whatever destination the
// compressor has been given.
void EncodeInto(Compressor& compressor, const std::uint8_t* raster, int width, int height,
                bool progressive, const std::stop_token& stop) {
  jpeg_compress_struct& info = compressor.info();
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  RunTrapped(
      compressor.trap(),
      [&] {
        info.image_width = static_cast<JDIMENSION>(width);
        info.image_height = static_cast<JDIMENSION>(height);
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 90, TRUE);
        if (progressive) jpeg_simple_progression(&info);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
          // A progressive stream is written only at the end, so the rows are where a cancel shows.
          if (info.next_scanline % 64 == 0 && stop.stop_requested()) {
            compressor.trap().interrupted = true;
            (*info.err->error_exit)(reinterpret_cast<j_common_ptr>(&info));
          }
          // libjpeg takes non-const rows but only reads them.
          JSAMPROW row = const_cast<JSAMPROW>(raster + rowBytes * info.next_scanline);
          jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
      },
      ErrorKind::kOutput);
}

// A destination that appends the encoded stream to a string a block at a time. The string grows
// as the library fills blocks; allocation failure is reported through the library's error exit,
// since no C++ exception may pass through libjpeg's frames.
struct StringDestination {
  jpeg_destination_mgr manager;
  std::string* out;
  ErrorTrap* trap;
  JOCTET buffer[64 * 1024];
};

void StartString(j_compress_ptr info) {
  auto* destination = reinterpret_cast<StringDestination*>(info->dest);
  destination->manager.next_output_byte = destination->buffer;
  destination->manager.free_in_buffer = sizeof destination->buffer;
}

void AppendOrFail(j_compress_ptr info, std::size_t size) {
  auto* destination = reinterpret_cast<StringDestination*>(info->dest);
  bool appended = true;
  try {
    destination->out->append(reinterpret_cast<const char*>(destination->buffer), size);
  } catch (const std::bad_alloc&) {
    appended = false;
  }
  if (!appended) {
    destination->trap->outOfMemory = true;
    (*info->err->error_exit)(reinterpret_cast<j_common_ptr>(info));
  }
}

boolean EmptyString(j_compress_ptr info) {
  auto* destination = reinterpret_cast<StringDestination*>(info->dest);
  AppendOrFail(info, sizeof destination->buffer);
  StartString(info);
  return TRUE;
}

void TerminateString(j_compress_ptr info) {
  auto* destination = reinterpret_cast<StringDestination*>(info->dest);
  AppendOrFail(info, sizeof destination->buffer - destination->manager.free_in_buffer);
}

}  // namespace

std::string EncodeJpegRgbToMemory(const std::uint8_t* raster, int width, int height,
                                  bool progressive, std::size_t expectedSize,
                                  std::stop_token stop) {
  std::string stream;
  try {
    stream.reserve(expectedSize);
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory);
  }
  auto destination = std::make_unique<StringDestination>();  // outlives the compressor
  Compressor compressor;
  destination->manager.init_destination = StartString;
  destination->manager.empty_output_buffer = EmptyString;
  destination->manager.term_destination = TerminateString;
  destination->out = &stream;
  destination->trap = &compressor.trap();
  compressor.info().dest = &destination->manager;
  StopWatch watch;
  watch.Watch(compressor.info(), compressor.trap(), stop);
  EncodeInto(compressor, raster, width, height, progressive, stop);
  return stream;
}

}  // namespace picsheet
