// RunLocaliser: the queue's prepared pictures saved in the converter's order.
#include "app/core/run_localiser.h"

#include "base/error.h"

namespace picsheet {

void RunLocaliser::Plan(const Sheet& sheet) {
  total_ = static_cast<int>(sheet.pictures.size());
  view_.PictureProgress(0, total_);
}

SavedPicture RunLocaliser::LocaliseImage(const Sheet& sheet, std::size_t slot,
                                         long double printedHeight) {
  if (folder_.stop.stop_requested()) {
    throw InterruptedError();
  }
  const PictureSlot& picture = sheet.pictures[slot];
  SavedPicture saved{{}, printedHeight};
  saved.path = LocalisePreparedImage(folder_, picture.address, sheet.cellWidth, saved.printedHeight,
                                     sheet.orientation, sheet.rotationAngle, picture.Name(),
                                     [this, slot](const std::string&, std::int32_t, std::int32_t) {
                                       return queue_.Take(first_ + slot);
                                     });
  view_.PictureProgress(++saved_, total_);
  return saved;
}

}  // namespace picsheet
