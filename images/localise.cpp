// LocaliseImage: fetch, judge the header, fix the height, turn and write one picture.
#include "images/localise.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <string_view>
#include <utility>

#include "base/atomic_file.h"
#include "base/error.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "base/paths.h"

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

void EnsureFolder(const std::string& sessionName, const std::string& folder) {
  // A file name cannot hold "/": joined as it is, the name would put the page and its pictures
  // into a folder below the output folder, where the page's links miss every picture. A "\\"
  // would do on disk, but the page's links join their parts with "\\", which a browser reads as
  // "/", so they would miss the pictures the same way.
  for (const char separator : {'/', '\\'}) {
    if (sessionName.find(separator) != std::string::npos) {
      throw Error(ErrorKind::kOutput, messages::CannotCreateFolder(folder),
                  std::string("a save name cannot hold \"") + separator + "\"");
    }
  }
  if (IsDirectory(folder)) return;
  // The message names the folder only; the reason says why (missing parent, no permission...).
  if (::mkdir(folder.c_str(), 0777) != 0) {
    throw Error(ErrorKind::kOutput, messages::CannotCreateFolder(folder),
                SystemErrorDescription(errno));
  }
}

[[noreturn]] void ThrowCannotCreate(const std::string& file, int code) {
  throw Error(ErrorKind::kOutput, messages::CannotCreateFile(AbsolutePathLexically(file),
                                                             SystemErrorDescription(code)));
}

// A picture written to the staging folder moves to file when the run ends; whether that place
// can take it is checked now, so the failure comes at this picture, before any later one is saved.
void CheckFinalPlace(const std::string& folder, const std::string& file) {
  struct stat info {};
  if (::lstat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ThrowCannotCreate(file, EISDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) ThrowCannotCreate(file, errno);
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
  if (divisor == 0) throw Error(ErrorKind::kEmptyPicture, messages::kInvalidFloat);
  return numerator / divisor;
}

}  // namespace

std::string LocalisePreparedImage(const SessionFolder& session, const std::string& pictureUrl,
                                  const long double& cellWidth, long double& printedHeight,
                                  std::int32_t orientation, std::int32_t rotationAngle,
                                  std::string pictureName, const PicturePrepare& prepare) {
  const std::string padded = PaddedName(std::move(pictureName));
  // The page keeps the run's bytes; the disk gets each component's UTF-8 form, as a browser
  // reading the page asks for it.
  const std::string folder =
      session.programFolder + FileSystemName(session.sessionName + "_images");
  EnsureFolder(session.sessionName, folder);
  const std::string fileName = FileSystemName(padded + ".jpg");
  const std::string file = folder + "/" + fileName;
  std::string returned = session.sessionName + "_images\\" + padded + ".jpg";

  PreparedPicture picture = prepare(pictureUrl, orientation, rotationAngle);
  if (printedHeight == 0) printedHeight = PrintedHeightOf(picture, cellWidth, orientation);
  if (picture.turnFailure) std::rethrow_exception(picture.turnFailure);

  // Written through a temporary file, so a failed write never leaves a truncated picture behind.
  // The file is created before an encoding failure is raised, as when encoding streams into it.
  const bool staging = !session.stagingFolder.empty();
  if (staging) CheckFinalPlace(folder, file);
  // Written in place, a picture of a run stopped later could not be taken back.
  if (session.stagingError != 0) ThrowCannotCreate(file, session.stagingError);
  AtomicFile out(staging ? session.stagingFolder + "/" + fileName : file, file);
  if (picture.encodeFailure) std::rethrow_exception(picture.encodeFailure);
  if (session.stop.stop_requested()) throw InterruptedError();
  out.Write(picture.bytes);
  out.Commit(false);
  if (staging && session.staged) session.staged(fileName);
  return returned;
}

std::string LocaliseImage(const SessionFolder& session, const std::string& pictureUrl,
                          const long double& cellWidth, long double& printedHeight,
                          std::int32_t orientation, std::int32_t rotationAngle,
                          std::string pictureName, const PictureFetch& fetch) {
  return LocalisePreparedImage(
      session, pictureUrl, cellWidth, printedHeight, orientation, rotationAngle,
      std::move(pictureName),
      [&](const std::string& url, std::int32_t pictureOrientation, std::int32_t angle) {
        return PrepareAnswer(fetch(url), pictureOrientation, angle, session.stop);
      });
}

}  // namespace picsheet
