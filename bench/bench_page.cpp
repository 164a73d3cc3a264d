// CataloguePage: the markers the converter reads, one cell a picture.
#include "bench/bench_page.h"

namespace picsheet::bench {

std::string CataloguePage(int pictures, const std::function<std::string(int)>& address) {
  std::string page = "<html><center><font size=3><b>Bench</b></font><br><table><tr>";
  for (int n = 1; n <= pictures; ++n) {
    page += "<td><center>" + std::to_string(n) + "<br><img src=\"" + address(n) +
            "\" width=100></center></td>";
  }
  return page + "</tr></table></html>";
}

}  // namespace picsheet::bench
