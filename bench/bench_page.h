// Catalogue pages for the whole-run benchmarks.
#pragma once

#include <functional>
#include <string>

namespace picsheet::bench {

// A catalogue page titled "Bench" of pictures numbered 1 to pictures, picture n at address(n).
std::string CataloguePage(int pictures, const std::function<std::string(int)>& address);

}  // namespace picsheet::bench
