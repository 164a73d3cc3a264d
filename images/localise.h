// Picture localisation: download a picture, fix the shared printed height, turn it when its shape
// does not match the orientation, and save it as a local JPEG beside the output page.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/memory_stream.h"
#include "convert/catalogue.h"
#include "images/picture_work.h"

namespace picsheet {

// Gives the body of one picture address; FetchUrl by default, a prefetcher during fast runs.
using PictureFetch = std::function<MemoryStream(const std::string& url)>;

// Gives the picture at an address prepared for an orientation and angle (PreparePicture): made
// on the spot by default, taken from workers that made it ahead during fast runs. Throws what the
// download or the header reading threw.
using PicturePrepare = std::function<PreparedPicture(
    const std::string& url, std::int32_t orientation, std::int32_t rotationAngle)>;

// Where a run's pictures go: programFolder (ending in "/") + sessionName + "_images".
struct SessionFolder {
  std::string programFolder;
  std::string sessionName;
  // When set, the files are written there instead (the run moves them into the picture folder
  // when it ends); the picture folder is still made and checked, and the returned paths stay.
  std::string stagingFolder{};
  // When set and it turns true, a picture being turned or written stops with "Interrupted".
  const std::atomic<bool>* cancelled{};
};

// Saves the picture at pictureUrl as programFolder/SESSION_images/PADDEDNAME.jpg (each component
// in its FileSystemName form) and returns "SESSION_images\PADDEDNAME.jpg" in the run's bytes for
// the page. printedHeight is computed only while it is 0.
// Throws Error: "Cannot create %s" (folder), "Cannot create file \"%s\". %s", "JPEG error #%d",
// "Invalid floating point operation", and whatever fetch throws. Errors of fetching, reading and
// decoding the picture are marked undelivered(), but for "Out of memory" and "Unable to
// initialize Wininet"; those of the folder and the file are not.
std::string LocaliseImage(const SessionFolder& session, const std::string& pictureUrl,
                          const long double& cellWidth, long double& printedHeight,
                          std::int32_t orientation, std::int32_t rotationAngle,
                          std::string pictureName, const PictureFetch& fetch);

// LocaliseImage with the picture prepared by prepare, which may have done its work on another
// thread ahead of time; everything the user sees (the folder, the height, the file, the error)
// happens here, in the same order and with the same outcome.
std::string LocalisePreparedImage(const SessionFolder& session, const std::string& pictureUrl,
                                  const long double& cellWidth, long double& printedHeight,
                                  std::int32_t orientation, std::int32_t rotationAngle,
                                  std::string pictureName, const PicturePrepare& prepare);

// The converter's localiser for pictures prepared ahead: LocalisePreparedImage with one session
// folder and one source of prepared pictures.
class PreparedImageLocaliser : public PictureLocaliser {
 public:
  PreparedImageLocaliser(SessionFolder session, PicturePrepare prepare);
  std::string LocaliseImage(const std::string& pictureUrl, const long double& cellWidth,
                            long double& printedHeight, std::int32_t orientation,
                            std::int32_t rotationAngle, std::string pictureName) override;

 private:
  SessionFolder session_;
  PicturePrepare prepare_;
};

// The converter's real localiser when nothing is prepared ahead: LocaliseImage with one session
// folder and one fetch, each picture fetched and prepared when the converter reaches it.
class ImageLocaliser final : public PreparedImageLocaliser {
 public:
  ImageLocaliser(SessionFolder session, PictureFetch fetch);
};

}  // namespace picsheet
