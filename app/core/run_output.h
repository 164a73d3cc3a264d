// The files of one run in its output folder: a lock per save name, held for the run, and a
// staging folder the pictures are written to until the run ends.
#pragma once

#include <string>
#include <vector>

namespace picsheet {

// While a run goes, its pictures wait in a hidden staging folder of a fixed name derived from
// the save name (".picsheet-" + 16 hex digits), which also holds the lock file. A run that ends
// moves them into the picture folder (Commit); an interrupted one drops them (Discard), so the
// folder is as it was before. The lock is a flock on that lock file; a leftover staging folder of
// a killed run is emptied by the next run of that name. Nothing of it stays after the run.
// The staging folder lies in the output folder, where the run may create files; when the
// picture folder already exists on another file system (a link to another disk, a mount), the
// pictures are staged in a folder of that name inside it instead, since a rename cannot cross
// file systems; when the output folder takes no folder but the picture folder does, the lock
// and the pictures go there.
class RunOutput {
 public:
  // Takes the save name's lock in programFolder (ending in "/") and empties its staging folder.
  // Throws Error "Another run is saving \"NAME\" in this folder" when a live run holds it. When
  // no staging folder can be made (the output folder missing or not writable, no picture folder
  // that takes one) stagingFolder() is empty and stagingError() says why: the run writes no
  // picture then.
  RunOutput(const std::string& programFolder, const std::string& sessionName);
  // Drops what is still staged, removes the staging folder and releases the lock.
  ~RunOutput();
  RunOutput(const RunOutput&) = delete;
  RunOutput& operator=(const RunOutput&) = delete;

  // Where the pictures are written for now; empty when there is none.
  const std::string& stagingFolder() const { return staging_; }
  // The system's error code of making the staging folder; 0 when there is one.
  int stagingError() const { return stagingError_; }
  // Notes a picture file written into the staging folder; Commit moves them in this order.
  void Staged(const std::string& fileName);
  // Moves every staged picture into the picture folder in the order staged, replacing files of
  // the same name. A picture that cannot be moved does not keep the others from their places;
  // the first failure is thrown once all were tried: Error "Cannot create file \"%s\". %s" with
  // the target.
  void Commit();
  // Drops the staged pictures, and the picture folder when this run made it and it is empty.
  void Discard();
  // Removes the picture folder when this run made it and left it empty (a failed run).
  void RemoveEmptyPictureFolder();

 private:
  // Takes the lock in a staging folder in folder (ending in "/"); false, with errno, when the
  // folder cannot take one.
  bool Lock(const std::string& folder, const std::string& sessionName);
  // Stages the pictures in a folder of the staging name inside the picture folder.
  void StageInPictureFolder(const std::string& sessionName);
  void RemoveStagedFiles();

  std::string pictureFolder_;
  std::string lockFolder_;
  std::string staging_;
  int stagingError_ = 0;
  std::string lockPath_;
  std::vector<std::string> staged_;
  int lockFd_ = -1;
  bool pictureFolderExisted_ = true;
};

}  // namespace picsheet
