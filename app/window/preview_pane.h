// The preview pane: an embedded browser that shows the saved page and nothing from elsewhere.
#pragma once

#include <QWebEngineView>

namespace picsheet {

// Scripts, plugins and remote loads from local pages are off; only local files are navigated
// to, so a link in a page cannot take the pane onto the network.
//
// The page is shown fitted to the pane's width (never above 100 %), so that the 19 cm table
// needs no horizontal scrolling; Ctrl+wheel and Ctrl+plus/minus zoom from there and Ctrl+0 goes
// back to the fitted width. Zooming changes the screen only: printing lays the page out anew.
class PreviewPane final : public QWebEngineView {
  Q_OBJECT
 public:
  explicit PreviewPane(QWidget* parent = nullptr);

  // Navigates to the local file at path (relative ones from the current folder), served as
  // PageUrl(path) so that it is read as Windows-1251. The same path again reloads it from disk,
  // since a run with the same save name replaces the page and its pictures under the same names.
  void ShowFile(const QString& path);

  void ZoomIn();
  void ZoomOut();
  // Back to the default: the page's width fitted into the pane.
  void FitWidth();
  bool fitsWidth() const { return fitting_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void childEvent(QChildEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MeasurePage();
  void ApplyZoom();
  void ZoomBy(double factor);

  bool fitting_ = true;
  double zoom_ = 1.0;  // the user's zoom while not fitting
  double pageWidth_;   // the shown page's width in CSS pixels, at 100 %
};

}  // namespace picsheet
