// Picture localisation: fix the shared printed height from a picture, and save it, turned when its
// shape does not match the orientation, as a local JPEG beside the output page.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "base/memory_stream.h"
#include "images/picture_work.h"

namespace picsheet {

// Gives the body of one picture address.
using PictureFetch = std::function<MemoryStream(const std::string& url)>;

// Gives the picture at an address prepared for an orientation and angle (PreparePicture): made
// on the spot, or taken from workers that made it ahead. Throws what the download or the header
// reading threw.
using PicturePrepare = std::function<PreparedPicture(
    const std::string& url, std::int32_t orientation, std::int32_t rotationAngle)>;

// Where a run's pictures go: programFolder (ending in "/") + sessionName + "_images".
struct SessionFolder {
  std::string programFolder;
  std::string sessionName;
  // When set, the files are written there instead, and the run moves them into the picture folder
  // when it ends; the picture folder is still made, and each picture's place in it checked, so
  // that a place that cannot take the file fails at its picture. The returned paths stay.
  std::string stagingFolder{};
  // Told the name of every file written into the staging folder, in the order written.
  std::function<void(const std::string& fileName)> staged{};
  // Once requested, a picture being turned or written stops with "Interrupted".
  std::stop_token stop{};
  // When not 0, no staging folder could be made, for this reason (an errno value): no picture is
  // written, each fails with "Cannot create file" and this reason once it would be.
  int stagingError = 0;
};

// Saves the picture prepare gives for pictureUrl as programFolder/SESSION_images/PADDEDNAME.jpg
// (each component in its FileSystemName form) and returns "SESSION_images\PADDEDNAME.jpg" in the
// run's bytes for the page. printedHeight is computed only while it is 0. The folder is made
// before the picture is asked for; the file is created after the height is fixed and the turn
// done, before an encoding failure is raised.
// Throws Error: "Cannot create %s" (folder), "Cannot create file \"%s\". %s", "Stream write
// error" (the file and the system's reason as detail), "JPEG error #%d", "Invalid floating point
// operation" (an empty picture with the height still open), and whatever prepare throws.
std::string LocalisePreparedImage(const SessionFolder& session, const std::string& pictureUrl,
                                  const long double& cellWidth, long double& printedHeight,
                                  std::int32_t orientation, std::int32_t rotationAngle,
                                  std::string pictureName, const PicturePrepare& prepare);

// LocalisePreparedImage with each picture fetched by fetch and prepared on the spot.
std::string LocaliseImage(const SessionFolder& session, const std::string& pictureUrl,
                          const long double& cellWidth, long double& printedHeight,
                          std::int32_t orientation, std::int32_t rotationAngle,
                          std::string pictureName, const PictureFetch& fetch);

}  // namespace picsheet
