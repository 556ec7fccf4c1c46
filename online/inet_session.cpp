#include "online/inet_session.h"

#include <curl/curl.h>

#include <mutex>

#include "foundation/log.h"
#include "online/inet_errors.h"

namespace {

std::mutex g_session_lock;
bool g_session_open = false;  // guarded by g_session_lock
BramInetTimeouts g_timeouts;

}  // namespace

bool BramInetInternal::CreateInternetSession() {
  std::lock_guard<std::mutex> hold(g_session_lock);
  if (g_session_open) return true;
  const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (code != CURLE_OK) {
    LogPrintf("BramInetInternal::CreateInternetSession> InternetOpen failed with error %u",
              InetErrorFromCurl(code, 0));
    return false;
  }
  g_session_open = true;
  return true;
}

void BramInetInternal::SetTimeouts(const BramInetTimeouts& timeouts) { g_timeouts = timeouts; }

BramInetTimeouts BramInetInternal::GetTimeouts() { return g_timeouts; }
