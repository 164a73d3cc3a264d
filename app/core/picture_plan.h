// The picture addresses a conversion will fetch, in order, found by a dry run of the converter.
#pragma once

#include <string>
#include <vector>

#include "convert/catalogue.h"

namespace picsheet {

// Runs ConvertCatalogue over pageText with a view that shows nothing and a localiser that only
// records, so the addresses come from the one scanner the real run uses. They do not depend on
// the pictures themselves. Writes nothing, fetches nothing.
std::vector<std::string> PlanPictureAddresses(const CatalogueOptions& options,
                                              const std::string& pageText);

}  // namespace picsheet
