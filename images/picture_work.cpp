// PreparePicture: the header, the turn decision, and the decode, turn and encode into memory.
#include "images/picture_work.h"

#include <optional>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "images/jpeg.h"
#include "images/raster_lease.h"
#include "images/rotate.h"
#include "web/http_client.h"

namespace picsheet {
namespace {

// Not a 2xx answer of a server; a local file has no status.
bool IsErrorStatus(long status) { return status != 0 && (status < 200 || status >= 300); }

void ExplainUndecodable(Error& error, const AnswerInfo& answer) {
  if (answer.status == 0 || error.kind() != ErrorKind::kJpeg) return;
  const bool picture =
      std::string_view(answer.contentType).rfind("image/", 0) == 0 || answer.contentType.empty();
  if (IsErrorStatus(answer.status) || !picture) {
    error.SetReason(DescribeAnswer(answer));
  }
}

}  // namespace

bool NeedsTurn(std::int32_t width, std::int32_t height, std::int32_t orientation) {
  if (orientation == 2) return width > height;
  if (orientation == 1) return width < height;
  return false;
}

TurnWork TurnWorkOf(std::string_view body, std::int32_t orientation, std::int32_t rotationAngle) {
  if (body.empty() || rotationAngle == 0) return {};
  try {
    const JpegHeader header = ReadJpegHeader(body);
    if (!NeedsTurn(header.width, header.height, orientation)) return {};
    return TurnWorkFor(header);
  } catch (const Error&) {
    return {};
  }
}

PreparedPicture PreparePicture(std::string body, std::int32_t orientation,
                               std::int32_t rotationAngle, std::stop_token stop,
                               bool memoryReserved) {
  JpegPicture picture = LoadJpegPicture(std::move(body));
  PreparedPicture prepared;
  prepared.width = picture.width;
  prepared.height = picture.height;
  // A picture that stands right, or a turn by nothing, keeps the bytes as downloaded.
  if (!NeedsTurn(picture.width, picture.height, orientation) || rotationAngle == 0) {
    prepared.bytes = std::move(picture.data);
    return prepared;
  }
  // The raster lives in the thread's kept memory, which the next picture turned on this thread
  // reuses instead of having fresh pages mapped and faulted in.
  std::optional<RasterLease> raster;
  try {
    raster.emplace(memoryReserved ? static_cast<std::size_t>(picture.width) *
                                        static_cast<std::size_t>(picture.height) * 3
                                  : TurnedRasterBytes(picture.width, picture.height));
    DecodeTurned(picture, rotationAngle, raster->data(), stop);
  } catch (...) {
    prepared.turnFailure = std::current_exception();
    return prepared;
  }
  const bool across = rotationAngle == 90 || rotationAngle == -90;
  const std::int32_t width = across ? picture.height : picture.width;
  const std::int32_t height = across ? picture.width : picture.height;
  // The turned picture, encoded at quality 90, is rarely larger than the downloaded one; setting
  // that much aside spares the copies of a growing buffer (pages never written cost no memory).
  const std::size_t downloadedSize = picture.data.size();
  picture.data = std::string();  // the body goes before the encoded stream grows
  try {
    prepared.bytes = EncodeJpegRgbToMemory(raster->data(), width, height, picture.progressive,
                                           downloadedSize, stop);
  } catch (...) {
    prepared.encodeFailure = std::current_exception();
  }
  return prepared;
}

PreparedPicture PrepareAnswer(MemoryStream answer, std::int32_t orientation,
                              std::int32_t rotationAngle, std::stop_token stop,
                              bool memoryReserved) {
  const AnswerInfo info = answer.answer();
  try {
    // An error answer without a body (a bare 404, a 304 to a request that asked for no
    // validation) holds no picture, not an empty one: it ends as an error page does, the answer
    // named. An empty 2xx answer is an empty picture.
    if (answer.Remaining().empty() && IsErrorStatus(info.status)) RefuseEmptyStream();
    PreparedPicture prepared = PreparePicture(std::move(answer).TakeRemaining(), orientation,
                                              rotationAngle, stop, memoryReserved);
    if (prepared.turnFailure) {
      try {
        std::rethrow_exception(prepared.turnFailure);
      } catch (Error& error) {
        ExplainUndecodable(error, info);  // the stored error itself, raised later
      } catch (...) {
      }
    }
    return prepared;
  } catch (Error& error) {
    ExplainUndecodable(error, info);
    throw;
  }
}

}  // namespace picsheet
