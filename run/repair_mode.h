// Repair mode: the patch worker's routine that brings the installation in
// line with the repair server's copy (repair/agent_client.h), with the stage
// texts, the gauge and the outcome in the view.
#pragma once

#include <string>

#include "repair/repair_server_address.h"

namespace BramPatch {

class PatchOptions;

// The registry value under HKEY_LOCAL_MACHINE\Software\Omvel that replaces
// the built-in repair server: "host" or "host:port".
inline constexpr const char* REPAIR_SERVER_REGISTRY_KEY = "Software\\Omvel";
inline constexpr const char* REPAIR_SERVER_REGISTRY_VALUE = "RepairServer";

// The repair server to use: the built-in name, or the registry setting when
// there is one. False, with *error set to a text for the user, when the
// setting is there but is neither "host" nor "host:port".
bool ReadRepairServerName(RepairServerName* name, std::string* error);

// Repairs the installation at options' install path: scans it (keeping the
// summary in "repair.cks" there, never touching "unins000.exe"), sends the
// summary to the repair server and writes the segments it returns. Posts a
// status line per stage, drives the gauge (range 1000) while segments arrive
// and reports the outcome; clears the "IsPatching" mark on success. Returns
// true for a completed repair; false when it failed (said so in the log) or
// the user cancelled (nothing more said). Returns only after the client's
// threads have ended. Runs on the patch worker thread.
bool RunRepairMode(const PatchOptions& options);

}  // namespace BramPatch
