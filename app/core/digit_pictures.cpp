// Finding the program's digit pictures and copying the missing ones beside a page.
#include "app/core/digit_pictures.h"

#include <sys/stat.h>

#include <cerrno>

#include <fstream>
#include <iterator>

#include "app/core/program_folder.h"
#include "base/atomic_file.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/paths.h"

namespace picsheet {
namespace {

constexpr char kFolderName[] = "syriannums/";

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Anything under that name counts, a dangling link included: it is not ours to replace.
bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::vector<std::string> DigitPictureNames() {
  std::vector<std::string> names;
  for (char digit = '0'; digit <= '9'; ++digit) names.push_back(std::string(1, digit) + ".png");
  for (char digit = '1'; digit <= '9'; ++digit) names.push_back(std::string("-") + digit + ".png");
  return names;
}

std::string ShippedDigitFolder() {
  const std::string program = ProgramFolder();
  for (const std::string& folder :
       {program + kFolderName, program + "../share/picsheet/" + kFolderName}) {
    if (IsDirectory(folder)) return folder;
  }
  return {};
}

void ProvideDigitPictures(const std::string& shipped, const std::string& pageFolder) {
  if (shipped.empty()) return;
  const std::string target = pageFolder + kFolderName;
  std::vector<std::string> missing;
  for (const std::string& name : DigitPictureNames()) {
    if (!Exists(target + name) && Exists(shipped + name)) missing.push_back(name);
  }
  if (missing.empty()) return;

  // The folder's name without its trailing "/", as the picture folder's message has it.
  const std::string folder = target.substr(0, target.size() - 1);
  if (!IsDirectory(folder) && ::mkdir(folder.c_str(), 0777) != 0) {
    throw Error(ErrorKind::kOutput, messages::CannotCreateFolder(folder),
                SystemErrorDescription(errno));
  }
  for (const std::string& name : missing) {
    std::ifstream in(shipped + name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    WriteFileAtomically(target + name, bytes);
  }
}

}  // namespace picsheet
