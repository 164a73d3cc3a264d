// The source text taken from what the user hands the window: a dropped file or link, or the
// command line's argument.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace picsheet {

// A dropped file as its local path, a dropped link or text as it reads (the first of several,
// its first line); empty when the drop carries neither.
QString SourceFromDrop(const QMimeData& data);

// The one argument after the program's name when it is not an option ("-..."), a "file:" URL
// as its local path; empty otherwise (no argument, several, or options for the program).
QString SourceFromArguments(const QStringList& arguments);

}  // namespace picsheet
