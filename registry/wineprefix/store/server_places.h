// Where upstream and Debian's Wine put a prefix's server folder (and so its lock), and the name
// file Debian's Wine keeps in the prefix to choose one under the temporary folder.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

namespace vidazoz::wineprefix {

struct ServerPlace {
  std::string base;     // the folder holding server-<dev>-<ino>: made 0700 when missing
  std::string server;   // base + "/server-<dev>-<ino>"
  bool starting = false;  // a server starting now, in this environment, may lock here
};

// "server-<dev>-<ino>" of the prefix folder, as Wine prints them.
std::string ServerFolderName(const struct stat& prefix);

// Every place a server for `prefixDir` may run in: upstream's /tmp/.wine-<uid>; Debian's
// /run/user/<uid>/wine when /run/user/<uid> exists; Debian's $TMPDIR/<name> and /tmp/<name>
// when the prefix's name file names a folder. Empty when the prefix cannot be stat'ed.
std::vector<ServerPlace> ServerPlaces(const std::string& prefixDir);
// The same from the prefix folder's stat, DebianUsesTmpName() and DebianTmpName() as the caller
// read them: a save asks each once.
std::vector<ServerPlace> ServerPlaces(const struct stat& prefix, bool debianUsesTmpName, const std::string& debianName);

// The folder name in $WINEPREFIX/wineserver; "" when it is missing or could not have been
// written by Wine (not a regular file of ours, empty, overlong, "/", "." or "..").
std::string DebianTmpName(const std::string& prefixDir);

// Whether Debian's Wine would look for the name file now: /run/user/<uid> is missing.
bool DebianUsesTmpName();

// ${TMPDIR:-/tmp} as Debian's Wine reads it; only an absolute TMPDIR counts (Wine fails on a
// relative one).
std::string TmpRoot();

// Makes the name file as Debian's Wine does when it is missing: a new folder
// <TmpRoot()>/wine-XXXXXX (mkdtemp, 0700) and its name in $WINEPREFIX/wineserver, mode 0400.
// A name file that appears meanwhile wins. Returns the name in force, or "" with errno set.
std::string MakeDebianTmpName(const std::string& prefixDir);

}  // namespace vidazoz::wineprefix
