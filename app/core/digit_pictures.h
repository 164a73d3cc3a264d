// The digit pictures that digit captions show: the program's own set, and a copy of it beside
// every page whose captions refer to it.
#pragma once

#include <string>
#include <vector>

namespace picsheet {

// The file names a caption can refer to under "syriannums/": "0.png" to "9.png" and, for the
// digits of negative numbers, "-1.png" to "-9.png".
std::vector<std::string> DigitPictureNames();

// The folder of the program's own digit pictures, ending in "/": ProgramFolder() + "syriannums/"
// when it exists (a build tree), else ProgramFolder() + "../share/picsheet/syriannums/" (an
// installation); the empty string when neither exists.
std::string ShippedDigitFolder();

// Copies every digit picture of shipped (a folder ending in "/"; empty: nothing to copy) that
// pageFolder + "syriannums/" lacks, creating that folder. Pictures already there are the user's
// and stay untouched. Throws Error "Cannot create PATH" when the folder cannot be made, or the
// messages of a failed file write.
void ProvideDigitPictures(const std::string& shipped, const std::string& pageFolder);

}  // namespace picsheet
