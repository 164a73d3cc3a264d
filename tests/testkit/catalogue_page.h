// Catalogue pages as a collector's site writes them, for the tests and the benchmarks.
#pragma once

#include <functional>
#include <string>

namespace picsheet::testkit {

// One source cell: "<td><center>" + number + "<br><img src=\"" + address +
// "\" width=100></center></td>".
std::string Cell(const std::string& number, const std::string& address);

// Pictures numbered 1 to count in cells of their own, picture n at address(n).
std::string NumberedCells(int count, const std::function<std::string(int)>& address);

// A page titled title with cells in one table row, wrapped in <html> and the table's tags.
std::string CataloguePage(const std::string& title, const std::string& cells);

}  // namespace picsheet::testkit
