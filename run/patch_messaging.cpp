#include "run/patch_messaging.h"

#include "run/patch_view.h"

namespace BramPatch {
namespace {

std::atomic<PatchView*> g_currentView{nullptr};
std::atomic<const std::atomic<bool>*> g_workerDestroying{nullptr};

}  // namespace

void SetCurrentView(PatchView* view) { g_currentView.store(view); }

PatchView* GetCurrentView() { return g_currentView.load(); }

void PostText(int kind, const std::string& text) {
  if (PatchView* view = GetCurrentView()) view->AppendText(kind, text);
}

bool KeepGoing() {
  const std::atomic<bool>* destroying = g_workerDestroying.load();
  if (destroying != nullptr && destroying->load()) return false;
  PatchView* view = GetCurrentView();
  return view == nullptr || !view->IsCancelRequested();
}

bool CancelRequestedByUser() {
  const PatchView* view = GetCurrentView();
  return view != nullptr && view->IsCancelRequested();
}

void PostWorkerFinished() {
  if (PatchView* view = GetCurrentView()) view->WorkerFinished();
}

void PostPatchInstalled() {
  if (PatchView* view = GetCurrentView()) view->PatchInstalled();
}

void SetCurrentWorkerDestroyFlag(const std::atomic<bool>* flag) { g_workerDestroying.store(flag); }

}  // namespace BramPatch

namespace BramPatch {

void ClearCurrentWorkerDestroyFlag(const std::atomic<bool>* flag) {
  g_workerDestroying.compare_exchange_strong(flag, nullptr);
}

}  // namespace BramPatch
