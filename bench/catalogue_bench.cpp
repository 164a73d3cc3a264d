// Conversion speed per source cell for catalogue pages of 1k, 10k and 100k cells, with a localiser
// that saves nothing, so that only the scan, the layout and the line building are measured. The
// time per cell must stay flat as the page grows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/catalogue.h"
#include "tests/testkit/catalogue_fakes.h"

namespace picsheet {
namespace {

// A catalogue page of cells source cells the way catalogue sites write them: two wrappers first,
// then ascending numbers with every seventh cell a further picture of the number before it and
// every tenth number missing, so repeats, held-back pictures and gap cells all take part.
std::string GeneratePage(int cells) {
  std::string page =
      "<html><head><title>Bench</title></head><body>\r\n"
      "<center><font size=3><b>Bench series</b></font><br>\r\n<table border=1>\r\n<tr>";
  int number = 0;
  for (int i = 0; i < cells; ++i) {
    if (i >= 2 && i % 7 != 0) {
      ++number;
      if (number % 10 == 0) ++number;
    }
    const std::string text = i < 2 ? "0" : std::to_string(number);
    page += "<td><center>" + text + "<br><img src=\"http://example.org/series/p" +
            std::to_string(i) + ".jpg\" width=120 height=160></center></td>";
    if (i % 8 == 7) page += "</tr>\r\n<tr>";
  }
  page += "</tr>\r\n</table>\r\n</center></body></html>\r\n";
  return page;
}

void BM_ConvertCatalogue(benchmark::State& state) {
  const int cells = static_cast<int>(state.range(0));
  const std::string page = GeneratePage(cells);
  CatalogueOptions options;
  options.cellsPerRow = 8;
  testkit::CountingView view;
  testkit::FakeLocaliser localiser;
  localiser.recordCalls = false;
  for (auto _ : state) {
    ConvertCatalogue(view, localiser, options, page);
    benchmark::DoNotOptimize(view.bytes);
  }
  state.SetItemsProcessed(state.iterations() * cells);
  // Seconds per source cell (the inverse of a per-iteration rate of cells).
  state.counters["per_cell"] = benchmark::Counter(
      cells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["page_bytes"] = static_cast<double>(page.size());
}

BENCHMARK(BM_ConvertCatalogue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace picsheet

BENCHMARK_MAIN();
