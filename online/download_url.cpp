#include "online/download_url.h"

#include <chrono>
#include <thread>

#include "foundation/log.h"
#include "kit/data_buffer.h"
#include "online/bram_ftp.h"
#include "online/download_callback.h"
#include "online/inet_session.h"
#include "online/inet_url.h"

namespace {

enum class Service { FTP, HTTP, NONE };

// Parses the URL and picks the service; 0, 5 or 10.
BramResult Dispatch(const std::string& url, BramURLParts* parts, Service* service) {
  const BramResult parsed = ParseURL(url, parts);
  if (parsed != BRAMRESULT_OK) return parsed;
  if (parts->m_scheme == "ftp") {
    *service = Service::FTP;
  } else if (parts->m_scheme == "http" || parts->m_scheme == "https") {
    *service = Service::HTTP;
  } else {
    return BRAMRESULT_BAD_FORMAT;
  }
  BramInetInternal::CreateInternetSession();
  return BRAMRESULT_OK;
}

void PauseBeforeRetry() {
  std::this_thread::sleep_for(
      std::chrono::milliseconds(BramInetInternal::GetTimeouts().m_retry_wait_ms));
}

// Cuts `buffer` to `size` bytes and puts its position there; 0 or the
// buffer's failure, after a line.
BramResult CutBuffer(BramDataBuffer& buffer, std::uint64_t size) {
  BramResult result = BRAMRESULT_OK;
  if (buffer.GetSize() > size) result = buffer.SetSize(size);
  if (result == BRAMRESULT_OK) result = buffer.SetPosition(size);
  if (result != BRAMRESULT_OK) {
    LogPrintf("DownloadURL> cannot cut the buffer to %llu bytes (result %u)",
              static_cast<unsigned long long>(size), result);
  }
  return result;
}

BramResult DownloadHttp(const BramURLParts& parts, const std::string& url, BramDataBuffer& buffer,
                        std::int32_t flags, DownloadURLCallback* callback,
                        std::uint64_t max_bytes) {
  const std::uint64_t start = buffer.GetPosition();
  InetAttempt attempt;
  for (int round = 0; round < DOWNLOAD_URL_ATTEMPTS; ++round) {
    if (round > 0) PauseBeforeRetry();
    attempt = HttpFetchAttempt(parts, url, buffer, flags, callback, start, max_bytes);
    if (attempt.m_result == BRAMRESULT_OK) {
      const std::uint64_t end = buffer.GetPosition();
      if (buffer.GetSize() > end) return CutBuffer(buffer, end);
      return BRAMRESULT_OK;
    }
    const BramResult rewound = CutBuffer(buffer, start);
    if (rewound != BRAMRESULT_OK) return rewound;
    if (attempt.m_final) break;
    if (callback != nullptr && callback->IsCancelled()) break;
  }
  return attempt.m_result;
}

BramResult DownloadFtp(const BramURLParts& parts, BramDataBuffer& buffer,
                       DownloadURLCallback* callback, std::uint64_t max_bytes) {
  BramFTP ftp;
  BramResult result = BRAMRESULT_OK;
  for (int round = 0; round < DOWNLOAD_URL_ATTEMPTS; ++round) {
    if (round > 0) PauseBeforeRetry();
    result = ftp.Open(parts.m_host, parts.m_user, parts.m_password, BRAMFTP_FLAG_PASSIVE,
                      EffectivePort(parts));
    if (result != BRAMRESULT_OK) continue;
    result = ftp.GetFileAtPath(parts.m_path, buffer, callback, max_bytes);
    if (result == BRAMRESULT_OK || ftp.ExceededLimit()) break;
    if (callback != nullptr && callback->IsCancelled()) break;
  }
  return result;
}

}  // namespace

BramResult DownloadURL(const std::string& url, BramDataBuffer& buffer, std::int32_t flags,
                       DownloadURLCallback* callback, std::uint64_t max_bytes) {
  BramURLParts parts;
  Service service = Service::NONE;
  const BramResult dispatched = Dispatch(url, &parts, &service);
  if (dispatched != BRAMRESULT_OK) return dispatched;
  if (service == Service::FTP) return DownloadFtp(parts, buffer, callback, max_bytes);
  return DownloadHttp(parts, url, buffer, flags, callback, max_bytes);
}

BramResult GetURLSize(const std::string& url, std::uint64_t* size) {
  *size = 0;
  BramURLParts parts;
  Service service = Service::NONE;
  const BramResult dispatched = Dispatch(url, &parts, &service);
  if (dispatched != BRAMRESULT_OK) return dispatched;

  BramResult result = BRAMRESULT_OK;
  if (service == Service::HTTP) {
    for (int round = 0; round < GET_URL_SIZE_HTTP_ATTEMPTS; ++round) {
      if (round > 0) PauseBeforeRetry();
      result = HttpSizeAttempt(parts, url, size).m_result;
      if (result == BRAMRESULT_OK) break;
    }
    return result;
  }
  BramFTP ftp;
  for (int round = 0; round < GET_URL_SIZE_FTP_ATTEMPTS; ++round) {
    if (round > 0) PauseBeforeRetry();
    result = ftp.Open(parts.m_host, parts.m_user, parts.m_password, BRAMFTP_FLAG_PASSIVE,
                      EffectivePort(parts));
    if (result == BRAMRESULT_OK) result = ftp.GetFileSize(parts.m_path, size);
    if (result == BRAMRESULT_OK) break;
  }
  return result;
}
