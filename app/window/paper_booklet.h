// Several saved pages on paper as one booklet: the first page is loaded as it is, the others are
// joined after it, each starting on a new sheet. No file is written for it, so nothing is left
// behind in the pages' folders when the render is stopped.
#pragma once

#include <QString>
#include <QStringList>

namespace picsheet {

// A script for the application's world of the loaded first page that appends the pages at the
// absolute paths pagePaths, in order, each parsed as a document of its own (so that markup
// left open in one title cannot reach into the next page) and wrapped in a block that begins a
// new sheet. Their relative picture paths are made absolute against each page's own address,
// as its own load would resolve them. The pages are read as the page scheme serves them: UTF-8
// when valid as a whole, else Windows-1251. Throws Error "Cannot open file" for a page that
// cannot be read.
QString JoinPagesScript(const QStringList& pagePaths);

// A script that gives true once every picture of the document has loaded or failed: joined
// pages' pictures load after the load event that the first page's own wait for.
QString PicturesSettledScript();

}  // namespace picsheet
