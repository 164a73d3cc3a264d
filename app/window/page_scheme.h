// Saved pages served to the web engine with their code page declared.
#pragma once

#include <QString>
#include <QUrl>

class QWebEnginePage;
class QWebEngineSettings;
class QWebEngineProfile;

namespace picsheet {

// A saved page declares no character set, and the engine then guesses one from the bytes: a
// short Russian title comes out as Big5 or KOI8-R. Pages shown as PageUrl(path) arrive as
// "text/html;charset=windows-1251" (or utf-8 when the whole page is valid UTF-8, as its names on
// disk then are), the pictures and other files beside them as they are.

// Registers the scheme with the engine; to be called before the first web engine object of the
// process exists. Further calls do nothing.
void RegisterPageScheme();

// Makes profile answer PageUrl() requests from the local files; once per profile is enough.
void ServePagesFrom(QWebEngineProfile& profile);

// The local file at the absolute path as a URL of that scheme. Relative links in the page, "\"
// included, resolve to the files beside it as under file:.
QUrl PageUrl(const QString& absolutePath);

// Loads the saved page at the absolute path into page through the scheme.
void LoadSavedPage(QWebEnginePage& page, const QString& absolutePath);

// The settings every view of a saved page has, since its title and numbers come from a foreign
// page: no scripts, no plugins, no remote loads; Windows-1251 for a page reached without the
// scheme (a file: URL), as the saved page declares no character set.
void UseSavedPageSettings(QWebEngineSettings& settings);

// Whether url is one of PageUrl()'s.
bool IsPageUrl(const QUrl& url);

}  // namespace picsheet
