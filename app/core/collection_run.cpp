// PlanCollection and RunCollection: the catalogues of a collection and their run in turn.
#include "app/core/collection_run.h"

#include <set>
#include <utility>

#include "app/core/error_message.h"
#include "app/core/session_name.h"
#include "base/file_system_name.h"
#include "convert/source.h"

namespace picsheet {

CollectionPlan PlanCollection(const std::vector<std::string>& sources,
                              const std::string& saveName) {
  CollectionPlan plan;
  std::set<std::string> given;
  std::set<std::string> taken;
  for (const std::string& source : sources) {
    // A note shows no password, and no line break pasted with a link.
    const std::string shown = SourceForDisplay(source);
    if (!given.insert(std::string(WithoutLinkBlanks(source))).second) {
      plan.notes.push_back(shown + " is given more than once; it is converted once");
      continue;
    }
    const std::string name = saveName.empty() ? DeriveSessionName(source) : saveName;
    std::string unique = name;
    for (int n = 2; !taken.insert(unique).second; ++n) unique = name + "-" + std::to_string(n);
    if (unique != name) {
      plan.notes.push_back(shown + " is saved as \"" + FileSystemName(unique) +
                           "\": an earlier source took \"" + FileSystemName(name) + "\"");
    }
    plan.items.push_back({source, std::move(unique)});
  }
  return plan;
}

CollectionOutcome RunCollection(const RunRequest& request, const std::vector<CollectionItem>& items,
                                RunState& state, CollectionView& view) {
  CollectionOutcome outcome;
  for (std::size_t i = 0; i < items.size(); ++i) {
    view.CatalogueStarted(i, items.size(), items[i]);
    RunRequest one = request;
    one.source = items[i].source;
    one.saveName = items[i].saveName;
    state.sessionName.clear();
    try {
      const std::string page = RunConversion(one, state, view);
      outcome.savedPages.push_back(page);
      view.CatalogueSaved(i, page, state.summary);
    } catch (const Error& e) {
      if (!request.options.keepGoing || !state.sessionName.empty() ||
          e.kind() == ErrorKind::kInterrupted) {
        throw;
      }
      ++outcome.skipped;
      view.CatalogueSkipped(i, e);
    }
  }
  return outcome;
}

}  // namespace picsheet
