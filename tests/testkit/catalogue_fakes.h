// Stand-ins for the converter's view and localiser, for the tests, the fuzzer and the benchmarks:
// they record (or count) what the converter does with them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/run_flow.h"
#include "base/error.h"
#include "convert/catalogue.h"

namespace picsheet::testkit {

// Keeps every line and status text a converter or a run shows, each in its own list and both in
// one transcript in the order they came, with the run's picture progress.
class RecordingView final : public RunView {
 public:
  void ClearLines() override {
    lines.clear();
    ++clears;
    transcript += "clear\n";
  }
  void AppendLine(std::string_view line) override {
    lines.emplace_back(line);
    transcript += "line " + std::string(line) + "\n";
  }
  void SetStatus(std::string_view status) override {
    statuses.emplace_back(status);
    transcript += "status " + std::string(status) + "\n";
  }
  void PictureProgress(int saved, int total) override {
    lastSaved = saved;
    lastTotal = total;
  }

  // The page as it is saved: every line followed by CR LF.
  std::string PageBytes() const {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
  }
  std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }

  std::vector<std::string> lines;
  std::vector<std::string> statuses;
  std::string transcript;
  int clears = 0;
  int lastSaved = -1;
  int lastTotal = -1;
};

// Counts what the converter writes without keeping it, for pages too large to record.
class CountingView final : public CatalogueView {
 public:
  void ClearLines() override {}
  void AppendLine(std::string_view line) override {
    ++lines;
    bytes += line.size() + 2;
  }
  void SetStatus(std::string_view status) override { statusBytes += status.size(); }
  std::size_t lines = 0, bytes = 0, statusBytes = 0;
};

// The printed height a picture shares: that of the pictures of nonzero numbers, or the other one.
enum class HeightShare { kNonzeroNumbers, kZeroValued };

// One call of LocaliseImage as the localiser saw it.
struct LocaliseCall {
  std::string url;
  long double cellWidth = 0;
  HeightShare height = HeightShare::kNonzeroNumbers;  // which printed height it was asked for
  long double heightOnEntry = 0;
  std::int32_t orientation = 0;
  std::int32_t rotationAngle = 0;
  std::string name;
};

// Behaves like the real localiser as far as the converter can tell: the returned path is never
// empty, the printed height is worked out only while the one handed in is 0 (the picture's own
// height, square unless heights names one for its address), and the cell width is only read.
// The path "local/" + name + ".jpg#" + address shows both what was asked for and under which name.
class FakeLocaliser final : public PictureLocaliser {
 public:
  SavedPicture LocaliseImage(const Sheet& sheet, std::size_t slot,
                             long double printedHeight) override {
    const PictureSlot& picture = sheet.pictures.at(slot);
    ++callCount;
    if (recordCalls) {
      calls.push_back({picture.address, sheet.cellWidth,
                       picture.zeroValued ? HeightShare::kZeroValued : HeightShare::kNonzeroNumbers,
                       printedHeight, sheet.orientation, sheet.rotationAngle, picture.Name()});
    }
    if ((failAtCall && callCount == *failAtCall) ||
        (failEvery != 0 && callCount % failEvery == 0)) {
      throw Error(ErrorKind::kFetch, "Cannot open URL " + picture.address);
    }
    if (printedHeight == 0) {
      const auto own = heights.find(picture.address);
      printedHeight =
          own != heights.end() ? own->second : (defaultHeight ? *defaultHeight : sheet.cellWidth);
    }
    return {"local/" + picture.Name() + ".jpg#" + picture.address, printedHeight};
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const LocaliseCall& call : calls) names.push_back(call.name);
    return names;
  }

  std::map<std::string, long double> heights;  // printed height of particular addresses
  std::optional<long double> defaultHeight;    // of every other address; the cell width if unset
  std::optional<std::size_t> failAtCall;       // 1-based call that raises "Cannot open URL"
  std::size_t failEvery = 0;                   // every failEvery-th call raises it too
  bool recordCalls = true;                     // off for pages too large to keep every call
  std::size_t callCount = 0;
  std::vector<LocaliseCall> calls;
};

}  // namespace picsheet::testkit
