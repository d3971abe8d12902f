// A file made beside the one it will replace and renamed over it only once it is whole and on
// disk: nobody ever sees a partial file under the real name.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "file_ops.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {

// Each step returns 0 or the errno of what failed; after a failure only the destructor is left,
// and it removes the file unless Keep renamed it into place.
class TempFile {
 public:
  // Keep's answer when the file is in place but its folder could not be synced: until it is,
  // the new name may not survive a crash.
  static constexpr int kFolderNotSynced = -1;

  // `dirFd`: the folder, held open by the caller for the file's whole life.
  TempFile(FileOps& ops, int dirFd) : ops_(ops), dirFd_(dirFd) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  // Creates ".<name>.vidazoz-<random>" with `mode` from the start, under a name nobody
  // can guess ahead (another user could otherwise block saves in a sticky folder). The file
  // holds a lock of its own while it lives, which tells it from a dead writer's.
  [[nodiscard]] int Create(std::string_view name, mode_t mode);

  // Removes what writers killed mid-save left for `name` in the folder dirFd holds: our own
  // regular files of that pattern whose lock nobody holds. Never follows a link, and never
  // touches another user's file, a live writer's, or anything of another name (Wine's own
  // temporary files included). Best effort: what cannot be checked stays.
  static void RemoveLeftovers(FileOps& ops, int dirFd, std::string_view name);
  [[nodiscard]] int SetMode(mode_t mode);
  [[nodiscard]] int Write(std::string_view text);
  // The pieces one after another, in as few calls as the system allows.
  [[nodiscard]] int Write(const std::vector<std::string_view>& pieces);
  [[nodiscard]] int Sync();
  // Renames onto `target` (a name in the folder) itself (a symlink there is replaced, never
  // written through), then syncs the folder.
  [[nodiscard]] int Keep(const std::string& target);
  // The file, open until destruction: its fstat after Keep is the identity of the file in place.
  int Fd() const { return fd_.Get(); }

 private:
  FileOps& ops_;
  int dirFd_;
  std::string name_;  // empty once kept
  UniqueFd fd_;
};

}  // namespace vidazoz::wineprefix
