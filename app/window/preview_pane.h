// The preview pane: an embedded browser that shows the saved page and nothing from elsewhere.
#pragma once

#include <QWebEngineView>

namespace picsheet {

// Scripts, plugins and remote loads from local pages are off; only local files are navigated
// to, so a link in a page cannot take the pane onto the network.
class PreviewPane final : public QWebEngineView {
  Q_OBJECT
 public:
  explicit PreviewPane(QWidget* parent = nullptr);

  // Navigates to the local file at path (absolute), served as PageUrl(path) so that it is read
  // as Windows-1251. The same path again reloads it from disk,
  // since a run with the same save name replaces the page and its pictures under the same names.
  void ShowFile(const QString& path);
};

}  // namespace picsheet
