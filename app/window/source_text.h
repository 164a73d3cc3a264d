// The source text taken from what the user hands the window: dropped files or links, the source
// field's text, or the command line's argument.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace picsheet {

// Dropped files as their local paths, dropped links, or the non-empty lines of dropped text, in
// their order; empty when the drop carries none of them.
QStringList SourcesFromDrop(const QMimeData& data);

// The sources the source field's text names: its parts between line breaks and "; ", the
// blanks around each dropped and empty parts left out. A text of fewer than two parts, or one
// that names an existing file as a whole, is one source exactly as it stands.
QStringList SourcesInText(const QString& text);

// The source field's text for sources: one source as it is, several joined with "; ".
QString SourceFieldText(const QStringList& sources);

// The one argument after the program's name when it is not an option ("-..."), a "file:" URL
// as its local path; empty otherwise (no argument, several, or options for the program).
QString SourceFromArguments(const QStringList& arguments);

}  // namespace picsheet
