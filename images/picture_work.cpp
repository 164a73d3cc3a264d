#include "images/picture_work.h"

#include <string_view>
#include <utility>

#include "base/error.h"
#include "base/http_client.h"
#include "images/jpeg.h"
#include "images/rotate.h"

namespace picsheet {
namespace {

void ExplainUndecodable(Error& error, const AnswerInfo& answer) {
  if (answer.status == 0 || error.kind() != ErrorKind::kJpeg) return;
  const bool picture =
      std::string_view(answer.contentType).rfind("image/", 0) == 0 || answer.contentType.empty();
  if (answer.status < 200 || answer.status >= 300 || !picture) {
    error.SetReason(DescribeAnswer(answer));
  }
}

}  // namespace

bool NeedsTurn(std::int32_t width, std::int32_t height, std::int32_t orientation) {
  if (orientation == 2) return width > height;
  if (orientation == 1) return width < height;
  return false;
}

PreparedPicture PreparePicture(std::string body, std::int32_t orientation,
                               std::int32_t rotationAngle, std::stop_token stop) {
  JpegPicture picture = LoadJpegPicture(std::move(body));
  PreparedPicture prepared;
  prepared.width = picture.width;
  prepared.height = picture.height;
  if (!NeedsTurn(picture.width, picture.height, orientation)) {
    prepared.bytes = std::move(picture.data);
    return prepared;
  }
  // The turned picture, encoded at quality 90, is rarely larger than the downloaded one; setting
  // that much aside spares the copies of a growing buffer (pages never written cost no memory).
  const std::size_t downloadedSize = picture.data.size();
  try {
    RotateBitmap(picture, rotationAngle, stop);
  } catch (...) {
    prepared.turnFailure = std::current_exception();
    return prepared;
  }
  if (picture.hasData) {  // angle 0: nothing was turned, the bytes stay as downloaded
    prepared.bytes = std::move(picture.data);
    return prepared;
  }
  try {
    prepared.bytes = EncodeJpegRgbToMemory(picture.raster.data(), picture.width, picture.height,
                                           picture.progressive, downloadedSize, stop);
  } catch (...) {
    prepared.encodeFailure = std::current_exception();
  }
  return prepared;
}

PreparedPicture PrepareAnswer(MemoryStream answer, std::int32_t orientation,
                              std::int32_t rotationAngle, std::stop_token stop) {
  const AnswerInfo info = answer.answer();
  try {
    PreparedPicture prepared =
        PreparePicture(std::move(answer).TakeRemaining(), orientation, rotationAngle, stop);
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
