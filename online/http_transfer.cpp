#include "online/http_transfer.h"

#include <memory>
#include <string_view>

#include "foundation/ascii_case.h"
#include "foundation/log.h"
#include "online/inet_curl.h"
#include "online/inet_errors.h"
#include "online/inet_url.h"

namespace {

struct CurlHandleDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlURLDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Follows the response headers of one exchange, redirects included, to know
// when the final response's headers are complete.
class ResponseHeaders {
 public:
  explicit ResponseHeaders(bool stop_at_body) : m_stop_at_body(stop_at_body) {}

  void Attach(CURL* handle) {
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &ResponseHeaders::OnHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
  }

  bool IsComplete() const { return m_complete; }  // the final response's headers arrived
  long GetStatus() const { return m_status; }
  bool IsRefused() const { return m_complete && m_status >= 400; }
  std::int64_t GetContentLength() const { return m_content_length; }  // -1: none

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    const std::size_t total = size * count;
    return static_cast<ResponseHeaders*>(self)->Take(std::string_view(data, total)) ? total : 0;
  }

  bool Take(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (StartsWithNoCase(line, "http/")) {
      m_status = 0;
      m_location = false;
      m_content_length = -1;
      const size_t blank = line.find(' ');
      if (blank != std::string_view::npos) {
        for (char c : line.substr(blank + 1)) {
          if (c < '0' || c > '9' || m_status > 999) break;
          m_status = m_status * 10 + (c - '0');
        }
      }
      return true;
    }
    if (line.empty()) {
      // A 1xx answer and a redirect that will be followed are not final.
      if (m_status < 200 || (m_status / 100 == 3 && m_location)) return true;
      m_complete = true;
      return !(m_stop_at_body || m_status >= 400);
    }
    if (StartsWithNoCase(line, "location:")) {
      m_location = true;
    } else if (StartsWithNoCase(line, "content-length:")) {
      std::string_view value = line.substr(15);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
      }
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
      std::int64_t length = value.empty() ? -1 : 0;
      for (char c : value) {
        if (c < '0' || c > '9' || length > (INT64_MAX - 9) / 10) {
          length = -1;
          break;
        }
        length = length * 10 + (c - '0');
      }
      m_content_length = length;
    }
    return true;
  }

  bool m_stop_at_body;
  bool m_complete = false;
  bool m_location = false;
  long m_status = 0;
  std::int64_t m_content_length = -1;
};

// One prepared GET on a fresh handle; `m_handle` is null when the handle or
// the URL could not be made (the line is written then).
struct HttpRequest {
  std::unique_ptr<CURL, CurlHandleDeleter> m_handle;
  std::unique_ptr<CURLU, CurlURLDeleter> m_url;
  std::unique_ptr<curl_slist, CurlListDeleter> m_headers;
};

HttpRequest PrepareRequest(const BramURLParts& parts, const std::string& url, bool no_cache) {
  HttpRequest request;
  request.m_handle.reset(NewTransferHandle());
  request.m_url.reset(curl_url());
  if (request.m_handle == nullptr || request.m_url == nullptr) {
    LogPrintf("InternetConnect returned %u for url %s", INET_ERROR_INTERNAL, url.c_str());
    request.m_handle.reset();
    return request;
  }
  const CURLUcode code = FillTransferURL(request.m_url.get(), parts, EffectivePort(parts));
  if (code != CURLUE_OK) {
    const bool bad_host = code == CURLUE_BAD_HOSTNAME || code == CURLUE_NO_HOST ||
                          code == CURLUE_BAD_PORT_NUMBER || code == CURLUE_BAD_IPV6;
    if (bad_host) {
      LogPrintf("InternetConnect returned %u for url %s", INET_ERROR_NAME_NOT_RESOLVED,
                url.c_str());
    } else {
      LogPrintf("HttpOpenRequest returned %u for url %s", INET_ERROR_INVALID_URL, url.c_str());
    }
    request.m_handle.reset();
    return request;
  }
  CURL* handle = request.m_handle.get();
  curl_easy_setopt(handle, CURLOPT_CURLU, request.m_url.get());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);  // a proxy's answer is not ours
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR,
                   parts.m_scheme == "https" ? "https" : "http,https");
  if (!parts.m_user.empty()) {
    curl_easy_setopt(handle, CURLOPT_USERNAME, parts.m_user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, parts.m_password.c_str());
  }
  if (no_cache) {
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    if (headers != nullptr) {
      curl_slist* more = curl_slist_append(headers, "Cache-Control: no-cache");
      if (more != nullptr) headers = more;
      request.m_headers.reset(headers);
      curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    }
  }
  return request;
}

// The line and result of a perform that neither the headers nor the sink
// stopped on purpose.
InetAttempt TransferFailure(CURL* handle, CURLcode code, const ResponseHeaders& headers) {
  const std::uint32_t error = InetErrorFromCurl(code, TransferOsErrno(handle));
  if (headers.IsComplete()) {
    LogPrintf("InternetReadFile returned %u with actualByteCount=0", error);
  } else {
    LogPrintf("HttpSendRequest returned %u", error);
  }
  return {BRAMRESULT_TRANSFER_FAILED, false};
}

}  // namespace

InetAttempt HttpFetchAttempt(const BramURLParts& parts, const std::string& url,
                             BramDataBuffer& buffer, std::int32_t flags,
                             DownloadURLCallback* callback, std::uint64_t origin,
                             std::uint64_t max_bytes) {
  HttpRequest request = PrepareRequest(parts, url, (flags & DOWNLOAD_FLAG_NO_CACHE) != 0);
  if (request.m_handle == nullptr) return {BRAMRESULT_TRANSFER_FAILED, false};
  CURL* handle = request.m_handle.get();
  ResponseHeaders headers(false);
  headers.Attach(handle);
  TransferSink sink(buffer, callback, origin, max_bytes);
  sink.Attach(handle);

  const CURLcode code = curl_easy_perform(handle);
  if (headers.IsRefused()) {
    LogPrintf("DownloadURL> HTTP status %ld for url %s", headers.GetStatus(), url.c_str());
    return {BRAMRESULT_TRANSFER_FAILED, false};
  }
  switch (sink.GetStop()) {
    case TransferSink::Stop::CANCELLED:
      return {BRAMRESULT_ABORTED, false};
    case TransferSink::Stop::WRITE_FAILED:
      LogPrintf("WriteData returned %u", sink.GetWriteResult());
      return {sink.GetWriteResult(), false};
    case TransferSink::Stop::TOO_LARGE:
      LogPrintf("DownloadURL> url %s sends more than %llu bytes", url.c_str(),
                static_cast<unsigned long long>(max_bytes));
      return {BRAMRESULT_TRANSFER_FAILED, true};
    case TransferSink::Stop::NONE:
      break;
  }
  if (code != CURLE_OK) return TransferFailure(handle, code, headers);
  return {BRAMRESULT_OK, false};
}

InetAttempt HttpSizeAttempt(const BramURLParts& parts, const std::string& url,
                            std::uint64_t* size) {
  HttpRequest request = PrepareRequest(parts, url, false);
  if (request.m_handle == nullptr) return {BRAMRESULT_TRANSFER_FAILED, false};
  CURL* handle = request.m_handle.get();
  ResponseHeaders headers(true);
  headers.Attach(handle);
  // The headers stop the exchange before the body; no byte of it is kept.
  curl_easy_setopt(
      handle, CURLOPT_WRITEFUNCTION,
      +[](char*, std::size_t, std::size_t, void*) -> std::size_t { return 0; });

  const CURLcode code = curl_easy_perform(handle);
  if (!headers.IsComplete()) return TransferFailure(handle, code, headers);
  if (headers.IsRefused()) {
    LogPrintf("GetURLSize> HTTP status %ld for url %s", headers.GetStatus(), url.c_str());
    return {BRAMRESULT_TRANSFER_FAILED, false};
  }
  if (headers.GetContentLength() < 0) {
    LogPrintf("HttpQueryInfo returned %u", INET_ERROR_HEADER_NOT_FOUND);
    return {BRAMRESULT_TRANSFER_FAILED, false};
  }
  *size = static_cast<std::uint64_t>(headers.GetContentLength());
  return {BRAMRESULT_OK, false};
}
