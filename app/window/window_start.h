// The window as the program opens it from its command line.
#pragma once

#include <QStringList>
#include <memory>

namespace picsheet {

class MainForm;

// Creates and shows the window; a source named on the command line (SourceFromArguments) fills
// the source field as a paste would. Nothing runs until the user starts it.
std::unique_ptr<MainForm> StartWindow(const QStringList& arguments);

}  // namespace picsheet
