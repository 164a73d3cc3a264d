// Stand-ins for the converter's view and localiser: they record what the converter does with them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "convert/catalogue.h"

namespace picsheet::testkit {

// Keeps the text pane's lines and every status text in the order they were set.
class RecordingCatalogueView final : public CatalogueView {
 public:
  void ClearLines() override {
    lines.clear();
    ++clears;
  }
  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  void SetStatus(std::string_view status) override { statuses.emplace_back(status); }

  // The page as it is saved: every line followed by CR LF.
  std::string PageBytes() const {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
  }

  std::vector<std::string> lines;
  std::vector<std::string> statuses;
  int clears = 0;
};

// One call of LocaliseImage as the localiser saw it.
struct LocaliseCall {
  std::string url;
  long double cellWidth = 0;
  const long double* height = nullptr;  // which height variable was handed in
  long double heightOnEntry = 0;
  std::int32_t orientation = 0;
  std::int32_t rotationAngle = 0;
  std::string name;
};

// Behaves like the real localiser as far as the converter can tell: the returned path is never
// empty, the printed height is worked out only while the variable holds 0 (the picture's own
// height, square unless heights names one for its address), and the cell width is only read.
// The path "local/" + name + ".jpg#" + address shows both what was asked for and under which name.
class FakeLocaliser final : public PictureLocaliser {
 public:
  std::string LocaliseImage(const std::string& pictureUrl, const long double& cellWidth,
                            long double& printedHeight, std::int32_t orientation,
                            std::int32_t rotationAngle, std::string pictureName) override {
    calls.push_back({pictureUrl, cellWidth, &printedHeight, printedHeight, orientation,
                     rotationAngle, pictureName});
    if (failAtCall && calls.size() == *failAtCall) throw Error("Cannot open URL " + pictureUrl);
    if (printedHeight == 0) {
      const auto own = heights.find(pictureUrl);
      printedHeight =
          own != heights.end() ? own->second : (defaultHeight ? *defaultHeight : cellWidth);
    }
    return "local/" + pictureName + ".jpg#" + pictureUrl;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const LocaliseCall& call : calls) names.push_back(call.name);
    return names;
  }

  std::map<std::string, long double> heights;  // printed height of particular addresses
  std::optional<long double> defaultHeight;    // of every other address; the cell width if unset
  std::optional<std::size_t> failAtCall;       // 1-based call that raises "Cannot open URL"
  std::vector<LocaliseCall> calls;
};

}  // namespace picsheet::testkit
