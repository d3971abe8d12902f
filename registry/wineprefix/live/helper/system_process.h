// The helper's standing with the wineserver: a system process, which never keeps the server
// alive, with the backup right snapshots need.
#pragma once

namespace vidazoz::live::helper {

// Makes this a Wine system process and starts a thread that ends the process when the server
// says the last user program has gone. False when Wine refused: the caller must exit then.
bool BecomeSystemProcess();

// Enables SeBackupPrivilege, without which RegSaveKey fails with 1314. Returns a Win32 status.
unsigned long EnableBackupPrivilege();

}  // namespace vidazoz::live::helper
