#include "images/picture_work.h"

#include <utility>

#include "images/jpeg.h"
#include "images/rotate.h"

namespace picsheet {

bool NeedsTurn(std::int32_t width, std::int32_t height, std::int32_t orientation) {
  if (orientation == 2) return width > height;
  if (orientation == 1) return width < height;
  return false;
}

PreparedPicture PreparePicture(std::string body, std::int32_t orientation,
                               std::int32_t rotationAngle) {
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
    RotateBitmap(picture, rotationAngle);
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
                                           picture.progressive, downloadedSize);
  } catch (...) {
    prepared.encodeFailure = std::current_exception();
  }
  return prepared;
}

}  // namespace picsheet
