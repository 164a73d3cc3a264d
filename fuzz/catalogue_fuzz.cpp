// The converter on arbitrary page bytes and options, with a localiser that fails now and then.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/error.h"
#include "convert/catalogue.h"

namespace {

class NullView final : public picsheet::CatalogueView {
 public:
  void ClearLines() override {}
  void AppendLine(std::string_view line) override { bytes_ += line.size(); }
  void SetStatus(std::string_view) override {}

 private:
  std::size_t bytes_ = 0;
};

class FakeLocaliser final : public picsheet::PictureLocaliser {
 public:
  explicit FakeLocaliser(std::uint8_t failEvery) : failEvery_(failEvery) {}
  std::string LocaliseImage(const std::string& url, const long double& cellWidth,
                            long double& printedHeight, std::int32_t, std::int32_t,
                            std::string pictureName) override {
    if (failEvery_ != 0 && ++calls_ % failEvery_ == 0) throw picsheet::Error("fail " + url);
    if (printedHeight == 0) printedHeight = cellWidth * 1.5L;
    return "x_images\\" + pictureName + ".jpg";
  }

 private:
  std::uint8_t failEvery_;
  unsigned calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  picsheet::CatalogueOptions options;
  options.cellsPerRow = data[0] % 24;  // also outside 2..20
  options.orientation = data[1] % 3;
  options.rotationAngle = data[1] & 0x10 ? -90 : 90;
  options.holdBackCovers = data[1] & 0x20;
  options.skipRepeats = data[1] & 0x40;
  options.gapCells = data[1] & 0x80;
  options.digitCaptions = data[2] & 1;
  NullView view;
  FakeLocaliser localiser(data[2] >> 4);
  try {
    picsheet::ConvertCatalogue(view, localiser, options,
                               std::string(reinterpret_cast<const char*>(data) + 3, size - 3));
  } catch (const picsheet::Error&) {
  }
  return 0;
}
