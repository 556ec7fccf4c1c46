// The registry mark "IsPatching" (DWORD 1) under
// HKEY_LOCAL_MACHINE\Software\Omvel\Products\KestroSimulator, present while a
// patch is being applied and left behind by a failed one.
#pragma once

namespace BramPatch {

// Both open the key for writing (it must exist) and return whether the
// registry operation succeeded; callers ignore the result.
bool SetPatchingFlag();
bool ClearPatchingFlag();

}  // namespace BramPatch
