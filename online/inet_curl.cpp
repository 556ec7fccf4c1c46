#include "online/inet_curl.h"

#include <cstdlib>

#include "kit/data_buffer.h"
#include "online/download_callback.h"
#include "online/inet_session.h"
#include "online/inet_url.h"

namespace {

const char* CaBundleFromEnvironment() {
  for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return nullptr;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void AppendEscaped(std::string* out, unsigned char c) {
  static const char HEX[] = "0123456789ABCDEF";
  out->push_back('%');
  out->push_back(HEX[c >> 4]);
  out->push_back(HEX[c & 0xF]);
}

}  // namespace

CURL* NewTransferHandle() {
  CURL* handle = curl_easy_init();
  if (handle == nullptr) return nullptr;
  const BramInetTimeouts timeouts = BramInetInternal::GetTimeouts();
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "Bram");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  // Receive in larger reads; the sink still hands the buffer pieces of at most
  // INET_CHUNK_SIZE bytes, each after its own cancel check.
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, static_cast<long>(INET_RECEIVE_SIZE));
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.m_connect_ms));
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.m_stall_seconds));
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   static_cast<long>(timeouts.m_stall_seconds));
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* bundle = CaBundleFromEnvironment()) {
    curl_easy_setopt(handle, CURLOPT_CAINFO, bundle);
  }
  return handle;
}

CURLUcode FillTransferURL(CURLU* url, const BramURLParts& parts, std::int32_t port) {
  const bool ftp = parts.m_scheme == "ftp";
  std::string path = "/";
  std::string query;
  bool in_query = false;
  for (char ch : parts.m_path) {
    const auto c = static_cast<unsigned char>(ch);
    std::string* out = in_query ? &query : &path;
    if (ftp) {
      if (IsUnreserved(c) || c == '/') {
        out->push_back(ch);
      } else {
        AppendEscaped(out, c);
      }
    } else if (c == '?' && !in_query) {
      in_query = true;
    } else if (c <= 0x20 || c >= 0x7F || c == '#') {
      AppendEscaped(out, c);
    } else {
      out->push_back(ch);
    }
  }
  const std::string port_text = std::to_string(port);
  CURLUcode code = curl_url_set(url, CURLUPART_SCHEME, parts.m_scheme.c_str(), 0);
  if (code == CURLUE_OK) code = curl_url_set(url, CURLUPART_HOST, parts.m_host.c_str(), 0);
  if (code == CURLUE_OK) code = curl_url_set(url, CURLUPART_PORT, port_text.c_str(), 0);
  if (code == CURLUE_OK) code = curl_url_set(url, CURLUPART_PATH, path.c_str(), 0);
  if (code == CURLUE_OK && in_query) {
    code = curl_url_set(url, CURLUPART_QUERY, query.c_str(), 0);
  }
  return code;
}

long TransferOsErrno(CURL* handle) {
  long os_errno = 0;
  curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &os_errno);
  return os_errno;
}

void TransferSink::Attach(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TransferSink::OnData);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
}

std::size_t TransferSink::OnData(char* data, std::size_t size, std::size_t count, void* sink) {
  const std::size_t total = size * count;
  return static_cast<TransferSink*>(sink)->Take(data, total) ? total : 0;
}

bool TransferSink::Take(const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t piece = size < INET_CHUNK_SIZE ? size : INET_CHUNK_SIZE;
    if (m_callback != nullptr && m_callback->IsCancelled()) {
      m_stop = Stop::CANCELLED;
      return false;
    }
    const std::uint64_t position = m_buffer.GetPosition();
    const std::uint64_t held = position > m_origin ? position - m_origin : 0;
    if (m_max_bytes != 0 && held + piece > m_max_bytes) {
      m_stop = Stop::TOO_LARGE;
      return false;
    }
    m_write_result = m_buffer.WriteData(data, static_cast<std::uint32_t>(piece));
    if (m_write_result != BRAMRESULT_OK) {
      m_stop = Stop::WRITE_FAILED;
      return false;
    }
    data += piece;
    size -= piece;
  }
  return true;
}
