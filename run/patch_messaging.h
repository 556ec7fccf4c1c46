// The channels from the patch run to its view: the message sink, the
// keep-going predicate and the two events a run sends.
//
// The current view and the current worker are process-wide. A text posted
// while there is no view is lost.
#pragma once

#include <atomic>
#include <string>

namespace BramPatch {

class PatchView;

// REQUIRES: view (if not null) outlives its time as the current view: clear
// it with SetCurrentView(nullptr) before destroying the view.
void SetCurrentView(PatchView* view);
PatchView* GetCurrentView();

// The message sink: kind 0 ordinary, 1 secondary, 2 error (text/text_kind.h).
// Callable from any thread; returns at once.
void PostText(int kind, const std::string& text);

// False once the current worker is being destroyed or the user has confirmed
// a cancel. Callable from any thread.
bool KeepGoing();

// True once the user has confirmed a cancel in the current view (false
// without a view). Unlike KeepGoing it ignores the worker's destroy request.
bool CancelRequestedByUser();

// The worker-finished event and the one-patch-installed event; skipped when
// there is no view.
void PostWorkerFinished();
void PostPatchInstalled();

// The current worker publishes its destroy request here; KeepGoing reads it.
// REQUIRES: flag (if not null) stays valid while it is registered.
void SetCurrentWorkerDestroyFlag(const std::atomic<bool>* flag);
// Unregisters flag when it is still the registered one (a newer worker's
// flag stays).
void ClearCurrentWorkerDestroyFlag(const std::atomic<bool>* flag);

}  // namespace BramPatch
