// The converter on arbitrary page bytes and options, with a localiser that fails now and then.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/error.h"
#include "convert/catalogue.h"
#include "tests/testkit/catalogue_fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  picsheet::CatalogueOptions options;
  options.cellsPerRow = data[0] % 24;  // also outside 2..20
  options.orientation = static_cast<picsheet::Orientation>(data[1] % 3);
  options.turn = data[1] & 0x10 ? picsheet::Turn::kCounterClockwise : picsheet::Turn::kClockwise;
  options.holdBackCovers = data[1] & 0x20;
  options.skipRepeats = data[1] & 0x40;
  options.gapCells = data[1] & 0x80;
  options.digitCaptions = data[2] & 1;
  picsheet::testkit::CountingView view;
  picsheet::testkit::FakeLocaliser localiser;
  localiser.recordCalls = false;
  localiser.failEvery = data[2] >> 4;
  try {
    picsheet::ConvertCatalogue(view, localiser, options,
                               std::string(reinterpret_cast<const char*>(data) + 3, size - 3));
  } catch (const picsheet::Error&) {
  }
  return 0;
}
