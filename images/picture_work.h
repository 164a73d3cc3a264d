// The part of localising a picture that needs no file and no shared state: reading its header,
// deciding the turn, and decoding, turning and encoding it into memory. Safe on any thread.
#pragma once

#include <cstdint>
#include <exception>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/memory_stream.h"
#include "images/rotate.h"

namespace picsheet {

// One picture made ready to be saved.
struct PreparedPicture {
  std::int32_t width = 0;  // from the header, before any turn; 0 x 0 for an empty body
  std::int32_t height = 0;
  std::string bytes;  // what the file gets: the body as downloaded, or the turned picture encoded
  // Failures of the turn, kept to be raised at their step of the save: decoding or turning (after
  // the printed height is fixed, before the file is created), encoding (once it is created).
  std::exception_ptr turnFailure;
  std::exception_ptr encodeFailure;
};

// True when a picture of this size must be turned to match the orientation (2 vertical,
// 1 horizontal, anything else never). A square picture never is.
bool NeedsTurn(std::int32_t width, std::int32_t height, std::int32_t orientation);

// The memory PreparePicture takes besides body to turn the picture in it (TurnWorkFor); nothing
// (bytes 0) when it stands right, the angle is 0 or the header cannot be read.
TurnWork TurnWorkOf(std::string_view body, std::int32_t orientation, std::int32_t rotationAngle);

// Reads the header of body and, when the shape does not match the orientation, turns the picture
// by rotationAngle and encodes it again. Throws Error "JPEG error #%d" for a body that is not a
// JPEG stream; failures of the turn itself are kept in the result. Once stop is requested the
// turn and the encoding stop with "Interrupted". memoryReserved: the caller has set the turn's
// memory aside (TurnWorkOf), so it is not checked against the system's free memory again.
PreparedPicture PreparePicture(std::string body, std::int32_t orientation,
                               std::int32_t rotationAngle, std::stop_token stop = {},
                               bool memoryReserved = false);

// PreparePicture of a downloaded answer. A body that does not decode because the server sent
// something else (an error page, a login form) gets what the server said as its error's reason,
// which tells the user more than libjpeg can.
PreparedPicture PrepareAnswer(MemoryStream answer, std::int32_t orientation,
                              std::int32_t rotationAngle, std::stop_token stop = {},
                              bool memoryReserved = false);

}  // namespace picsheet
