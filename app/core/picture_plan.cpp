// PlanPictureAddresses: a dry run of the converter with a localiser that only notes addresses.
#include "app/core/picture_plan.h"

namespace picsheet {
namespace {

class SilentView final : public CatalogueView {
 public:
  void ClearLines() override {}
  void AppendLine(std::string_view) override {}
  void SetStatus(std::string_view) override {}
};

class RecordingLocaliser final : public PictureLocaliser {
 public:
  std::string LocaliseImage(const std::string& pictureUrl, const long double&, long double&,
                            std::int32_t, std::int32_t, std::string pictureName) override {
    addresses.push_back(pictureUrl);
    return pictureName;  // any non-empty path keeps the converter on its course
  }
  std::vector<std::string> addresses;
};

}  // namespace

std::vector<std::string> PlanPictureAddresses(const CatalogueOptions& options,
                                              const std::string& pageText) {
  SilentView view;
  RecordingLocaliser localiser;
  ConvertCatalogue(view, localiser, options, pageText);
  return std::move(localiser.addresses);
}

}  // namespace picsheet
