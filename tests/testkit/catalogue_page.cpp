// The markers the converter reads, written the way catalogue sites write them.
#include "tests/testkit/catalogue_page.h"

namespace picsheet::testkit {

std::string Cell(const std::string& number, const std::string& address) {
  return "<td><center>" + number + "<br><img src=\"" + address + "\" width=100></center></td>";
}

std::string NumberedCells(int count, const std::function<std::string(int)>& address) {
  std::string cells;
  for (int n = 1; n <= count; ++n) cells += Cell(std::to_string(n), address(n));
  return cells;
}

std::string CataloguePage(const std::string& title, const std::string& cells) {
  return "<html><center><font size=3><b>" + title + "</b></font><br><table><tr>" + cells +
         "</tr></table></html>";
}

}  // namespace picsheet::testkit
