// The output of a run: staged pictures move into the picture folder in order, all that can.
#include "app/core/run_output.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/core/run_flow.h"
#include "base/error.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;
using testkit::WriteFileBytes;

// A saved page numbering its pictures 1.jpg .. count.jpg beside it from 1; returns its path.
std::string LocalPage(const TempDir& dir, int count) {
  std::string page = "<center><font size=3><b>T</b></font><br><table><tr>";
  for (int i = 1; i <= count; ++i) {
    const std::string name = std::to_string(i) + ".jpg";
    WriteFileBytes(dir.File(name), testkit::MakeQuadrantJpeg(40, 30, testkit::JpegKind::kBaseline));
    page +=
        "<td><center>" + std::to_string(i) + "<br><img src=\"" + name + "\" alt=x></center></td>";
  }
  WriteFileBytes(dir.File("list.htm"), page + "</tr></table>");
  return dir.File("list.htm");
}

// Stops its run once picture stopAt is saved (0: never).
class StoppingView final : public RunView {
 public:
  explicit StoppingView(int stopAt) : stopAt_(stopAt) {}
  void ClearLines() override {}
  void AppendLine(std::string_view) override {}
  void SetStatus(std::string_view) override {}
  void PictureProgress(int saved, int) override {
    if (saved > 0 && saved == stopAt_) stop.request_stop();
  }
  std::stop_source stop;

 private:
  int stopAt_;
};

// Runs "run" of source into folder, stopped after picture stopAt; the message it failed with,
// "" when it did not fail.
std::string RunInto(const std::string& source, const std::string& folder, int stopAt) {
  RunRequest request;
  request.source = source;
  request.saveName = "run";
  request.programFolder = folder + "/";
  StoppingView view(stopAt);
  request.stop = view.stop.get_token();
  RunState state;
  try {
    RunConversion(request, state, view);
    return "";
  } catch (const Error& e) {
    return e.what();
  }
}

TEST(RunOutputTest, StagedPicturesMoveInOrderAndOneThatCannotDropsNoOther) {
  TempDir out;
  std::filesystem::create_directories(out.File("run_images/b.jpg"));  // in b's way
  {
    RunOutput output(out.path() + "/", "run");
    ASSERT_FALSE(output.stagingFolder().empty());
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
      WriteFileBytes(output.stagingFolder() + "/" + name, name);
      output.Staged(name);
    }
    try {
      output.Commit();
      ADD_FAILURE() << "b was moved onto a folder";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kOutput);
      EXPECT_EQ(
          std::string(e.what()).rfind("Cannot create file \"" + out.File("run_images/b.jpg"), 0),
          0u)
          << e.what();
    }
  }
  EXPECT_EQ(ReadFileBytes(out.File("run_images/a.jpg")), "a.jpg");
  EXPECT_EQ(ReadFileBytes(out.File("run_images/c.jpg")), "c.jpg");
  EXPECT_TRUE(std::filesystem::is_directory(out.File("run_images/b.jpg")));
}

TEST(RunOutputTest, AFailedRunLeavesNoEmptyPictureFolderOfItsOwn) {
  TempDir dir;
  const std::string page = LocalPage(dir, 1);
  std::filesystem::remove(dir.File("1.jpg"));
  EXPECT_NE(RunInto(page, dir.path(), 0), "");
  EXPECT_FALSE(PathExists(dir.File("run_images")));
}

TEST(RunOutputTest, AStoppedRunWhoseOutputFolderTakesNoStagingChangesNoPicture) {
  // The output folder cannot be written (root takes a user id of no rights), its picture folder
  // can; the run is stopped after its first picture.
  TempDir dir;
  const std::string page = LocalPage(dir, 2);
  const std::string pictures = dir.File("out/run_images");
  std::filesystem::create_directories(pictures);
  WriteFileBytes(pictures + "/00000001_1.jpg", "earlier");
  ::chmod(dir.path().c_str(), 0755);
  ::chmod(pictures.c_str(), 0777);
  ::chmod((pictures + "/00000001_1.jpg").c_str(), 0666);
  ::chmod(dir.File("out").c_str(), 0555);
  const auto answers = testkit::RunInChildren(1, [&](int) -> std::string {
    if (::geteuid() == 0 &&
        (::setresgid(54321, 54321, 54321) != 0 || ::setresuid(54321, 54321, 54321) != 0))
      return "cannot change user";
    const std::string error = RunInto(page, dir.File("out"), 1);
    if (error != InterruptedError().what()) return "ended with " + error;
    if (ReadFileBytes(pictures + "/00000001_1.jpg") != "earlier") return "a picture was replaced";
    return testkit::SnapshotFolder(pictures).size() == 1 ? "" : "a file was left";
  });
  ::chmod(dir.File("out").c_str(), 0755);
  EXPECT_EQ(answers[0], "");
}

TEST(RunOutputTest, APictureFolderOnAnotherFileSystemTakesThePictures) {
  TempDir dir;
  const std::string page = LocalPage(dir, 2);
  std::filesystem::create_directory(dir.File("disk"));
  // A tmpfs in a mount namespace of the child's own, gone with it.
  const auto answers = testkit::RunInChildren(1, [&](int) -> std::string {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.File("disk").c_str(), "tmpfs", 0, "size=16m") != 0)
      return "skip";
    std::filesystem::create_directory(dir.File("disk/pictures"));
    std::filesystem::create_directory_symlink(dir.File("disk/pictures"), dir.File("run_images"));
    // Stopped, the run leaves the folder as it was; not stopped, both pictures move.
    if (RunInto(page, dir.path(), 1) != InterruptedError().what()) return "not stopped";
    if (!testkit::SnapshotFolder(dir.File("disk/pictures")).empty()) return "a picture stayed";
    const std::string error = RunInto(page, dir.path(), 0);
    if (!error.empty()) return error;
    return testkit::SnapshotFolder(dir.File("disk/pictures")).size() == 2 ? "" : "not moved";
  });
  if (answers[0] == "skip") GTEST_SKIP() << "no tmpfs can be mounted here (not root?)";
  EXPECT_EQ(answers[0], "");
}

}  // namespace
}  // namespace picsheet
