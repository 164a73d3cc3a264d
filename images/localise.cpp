#include "images/localise.h"

#include <sys/stat.h>

#include <utility>

#include "base/atomic_file.h"
#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

// The file name base: the picture name padded with leading zeros to 10 characters. The name comes
// from number texts of a foreign page, so bytes that would leave the folder ("/"), cut the name
// short (NUL) or make the page's path and the file's path disagree ("\") become "_".
std::string PaddedName(std::string pictureName) {
  if (pictureName.size() < 10) pictureName.insert(0, 10 - pictureName.size(), '0');
  for (char& c : pictureName) {
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  return pictureName;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void EnsureFolder(const std::string& folder) {
  if (IsDirectory(folder)) return;
  if (::mkdir(folder.c_str(), 0777) != 0) throw Error(messages::CannotCreateFolder(folder));
}

// Long side x cell width / short side under vertical orientation, short / long otherwise; the
// product first, then the quotient. An empty picture gives 0 / 0, which is refused rather than
// left to become a NaN on the page.
long double PrintedHeightOf(const PreparedPicture& picture, long double cellWidth,
                            std::int32_t orientation) {
  const long double w = picture.width;
  const long double h = picture.height;
  const bool heightOverWidth =
      orientation == 2 ? picture.width < picture.height : picture.width > picture.height;
  const long double numerator = (heightOverWidth ? h : w) * cellWidth;
  const long double divisor = heightOverWidth ? w : h;
  if (divisor == 0) throw Error(messages::kInvalidFloat);
  return numerator / divisor;
}

}  // namespace

std::string LocalisePreparedImage(const SessionFolder& session, const std::string& pictureUrl,
                                  const long double& cellWidth, long double& printedHeight,
                                  std::int32_t orientation, std::int32_t rotationAngle,
                                  std::string pictureName, const PicturePrepare& prepare) {
  const std::string padded = PaddedName(std::move(pictureName));
  const std::string folder = session.programFolder + session.sessionName + "_images";
  EnsureFolder(folder);
  const std::string file = folder + "/" + padded + ".jpg";
  std::string returned = session.sessionName + "_images\\" + padded + ".jpg";

  PreparedPicture picture = prepare(pictureUrl, orientation, rotationAngle);
  if (printedHeight == 0) printedHeight = PrintedHeightOf(picture, cellWidth, orientation);
  if (picture.turnFailure) std::rethrow_exception(picture.turnFailure);

  // Written through a temporary file, so a failed write never leaves a truncated picture behind.
  // The file is created before an encoding failure is raised, as when encoding streams into it.
  AtomicFile out(file);
  if (picture.encodeFailure) std::rethrow_exception(picture.encodeFailure);
  out.Write(picture.bytes);
  out.Commit(false);
  return returned;
}

std::string LocaliseImage(const SessionFolder& session, const std::string& pictureUrl,
                          const long double& cellWidth, long double& printedHeight,
                          std::int32_t orientation, std::int32_t rotationAngle,
                          std::string pictureName, const PictureFetch& fetch) {
  const PicturePrepare onTheSpot = [&fetch](const std::string& url, std::int32_t orientation,
                                            std::int32_t rotationAngle) {
    return PreparePicture(std::move(fetch(url)).TakeRemaining(), orientation, rotationAngle);
  };
  return LocalisePreparedImage(session, pictureUrl, cellWidth, printedHeight, orientation,
                               rotationAngle, std::move(pictureName), onTheSpot);
}

ImageLocaliser::ImageLocaliser(SessionFolder session, PictureFetch fetch)
    : session_(std::move(session)), fetch_(std::move(fetch)) {}

std::string ImageLocaliser::LocaliseImage(const std::string& pictureUrl,
                                          const long double& cellWidth, long double& printedHeight,
                                          std::int32_t orientation, std::int32_t rotationAngle,
                                          std::string pictureName) {
  return picsheet::LocaliseImage(session_, pictureUrl, cellWidth, printedHeight, orientation,
                                 rotationAngle, std::move(pictureName), fetch_);
}

PreparedImageLocaliser::PreparedImageLocaliser(SessionFolder session, PicturePrepare prepare)
    : session_(std::move(session)), prepare_(std::move(prepare)) {}

std::string PreparedImageLocaliser::LocaliseImage(
    const std::string& pictureUrl, const long double& cellWidth, long double& printedHeight,
    std::int32_t orientation, std::int32_t rotationAngle, std::string pictureName) {
  return LocalisePreparedImage(session_, pictureUrl, cellWidth, printedHeight, orientation,
                               rotationAngle, std::move(pictureName), prepare_);
}

}  // namespace picsheet
