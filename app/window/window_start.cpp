#include "app/window/window_start.h"

#include "app/window/main_form.h"
#include "app/window/source_text.h"

namespace picsheet {

std::unique_ptr<MainForm> StartWindow(const QStringList& arguments) {
  auto window = std::make_unique<MainForm>();
  const QString source = SourceFromArguments(arguments);
  if (!source.isEmpty()) window->SetSource(source);
  window->show();
  return window;
}

}  // namespace picsheet
