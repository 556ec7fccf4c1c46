#include "online/bram_ftp.h"

#include <string_view>

#include "foundation/log.h"
#include "kit/data_buffer.h"
#include "online/inet_curl.h"
#include "online/inet_errors.h"
#include "online/inet_session.h"

// How far one exchange came, read from the commands sent and the replies
// received on the control connection.
struct BramFTP::Dialogue {
  std::string m_last_command;  // verb of the last command sent, e.g. "RETR"
  bool m_rest_sent = false;
  bool m_rest_accepted = false;   // "350" after REST
  bool m_transfer_begun = false;  // a 1xx reply after RETR, or data arrived
  std::uint32_t m_error = 0;      // error number of a failed exchange
  std::int64_t m_size = -1;       // size reported for a size query, -1 if none

  static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
    auto* dialogue = static_cast<Dialogue*>(self);
    const std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
      const size_t end = text.find_first_of(" \r\n");
      dialogue->m_last_command = std::string(text.substr(0, end));
      if (dialogue->m_last_command == "REST") dialogue->m_rest_sent = true;
    } else if (type == CURLINFO_HEADER_IN) {
      if (dialogue->m_last_command == "REST" && text.starts_with("350")) {
        dialogue->m_rest_accepted = true;
      } else if (dialogue->m_last_command == "RETR" && text.starts_with("1")) {
        dialogue->m_transfer_begun = true;
      }
    } else if (type == CURLINFO_DATA_IN) {
      dialogue->m_transfer_begun = true;
    }
    return 0;
  }
};

namespace {

// A size query writes its "Content-Length:" report as data too; no byte of
// it is wanted.
std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

}  // namespace

BramFTP::~BramFTP() { Close(); }

void BramFTP::Close() {
  if (m_connection != nullptr) curl_easy_cleanup(static_cast<CURL*>(m_connection));
  if (m_url != nullptr) curl_url_cleanup(static_cast<CURLU*>(m_url));
  m_connection = nullptr;
  m_url = nullptr;
  m_connected = false;
}

BramResult BramFTP::Open(const std::string& host, const std::string& user,
                         const std::string& password, std::int32_t flags, std::int32_t port) {
  m_host = host;
  m_user = user;
  m_password = password;
  m_flags = flags;
  m_port = port;
  Close();
  BramInetInternal::CreateInternetSession();

  CURL* handle = NewTransferHandle();
  CURLU* url = curl_url();
  m_connection = handle;
  m_url = url;
  std::uint32_t error = INET_ERROR_INTERNAL;
  if (handle != nullptr && url != nullptr) {
    BramURLParts parts;
    parts.m_scheme = "ftp";
    parts.m_host = host;
    error = INET_ERROR_NAME_NOT_RESOLVED;
    if (FillTransferURL(url, parts, port) == CURLUE_OK) {
      curl_easy_setopt(handle, CURLOPT_CURLU, url);
      curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
      if (!user.empty()) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str());
      }
      // Passive: no PORT address; active: the address of the control connection.
      curl_easy_setopt(handle, CURLOPT_FTPPORT, (flags & BRAMFTP_FLAG_PASSIVE) ? nullptr : "-");
      // Only the login: no listing, no transfer, on a connection of its own.
      curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
      curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
      curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
      const CURLcode code = curl_easy_perform(handle);
      curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 0L);
      if (code == CURLE_OK) {
        m_connected = true;
        return BRAMRESULT_OK;
      }
      error = InetErrorFromCurl(code, TransferOsErrno(handle));
    }
  }
  m_error = error;
  LogPrintf("BramFTP::Open> Connection to \"%s\" failed with error %u", host.c_str(), error);
  return BRAMRESULT_TRANSFER_FAILED;
}

void BramFTP::ApplyReconnectRule() {
  if (m_error == INET_ERROR_CONNECTION_RESET || m_error == INET_ERROR_CONNECTION_ABORTED) {
    Open(m_host, m_user, m_password, m_flags, m_port);
  }
}

int BramFTP::Perform(const std::string& path, std::uint64_t resume_at, TransferSink* sink,
                     Dialogue* dialogue) {
  dialogue->m_error = INET_ERROR_INTERNAL;
  if (m_connection == nullptr) return CURLE_FAILED_INIT;
  auto* handle = static_cast<CURL*>(m_connection);
  if (path.empty() || path.back() == '/') {
    // A directory is no file: libcurl would fetch its listing instead.
    dialogue->m_error = INET_ERROR_EXTENDED;
    return CURLE_REMOTE_FILE_NOT_FOUND;
  }
  BramURLParts parts;
  parts.m_scheme = "ftp";
  parts.m_host = m_host;
  parts.m_path = path;
  if (FillTransferURL(static_cast<CURLU*>(m_url), parts, m_port) != CURLUE_OK) {
    dialogue->m_error = INET_ERROR_INVALID_URL;
    return CURLE_URL_MALFORMAT;
  }
  curl_easy_setopt(handle, CURLOPT_CURLU, m_url);
  curl_easy_setopt(handle, CURLOPT_NOBODY, sink == nullptr ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(resume_at));
  if (sink != nullptr) {
    sink->Attach(handle);
  } else {
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
  }
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &Dialogue::OnDebug);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, dialogue);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  const CURLcode code = curl_easy_perform(handle);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 0L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, nullptr);
  dialogue->m_error = code == CURLE_OK ? 0 : InetErrorFromCurl(code, TransferOsErrno(handle));
  if (code == CURLE_OK && sink == nullptr) {
    curl_off_t length = -1;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    dialogue->m_size = length;
  }
  return code;
}

BramResult BramFTP::GetFileAtPath(const std::string& path, BramDataBuffer& buffer,
                                  DownloadURLCallback* callback, std::uint64_t max_bytes) {
  m_exceeded_limit = false;
  if (!m_connected) return BRAMRESULT_NOT_OPEN;

  // The whole size is the resume point: a partial file past 4 GiB resumes
  // where it ends, not at the size's low 32 bits.
  std::uint64_t offset = buffer.GetSize();
  bool resuming = offset != 0;
  bool resume_reported = false;
  int rest_failures = 0;
  int open_failures = 0;
  for (;;) {
    buffer.SetPosition(offset);
    TransferSink sink(buffer, callback, 0, max_bytes);
    Dialogue dialogue;
    const int code = Perform(path, resuming ? offset : 0, &sink, &dialogue);
    const std::uint32_t error = dialogue.m_error;

    const bool rest_failed =
        resuming && code != CURLE_OK && sink.GetStop() == TransferSink::Stop::NONE &&
        (code == CURLE_FTP_COULDNT_USE_REST || code == CURLE_BAD_DOWNLOAD_RESUME ||
         (dialogue.m_rest_sent && !dialogue.m_rest_accepted));
    if (rest_failed) {
      m_error = error;
      ApplyReconnectRule();
      if (++rest_failures < 2) continue;
      LogPrintf("BramFTP::GetFileAtPath> unable to resume download of \"%s\" (error %u).",
                path.c_str(), error);
      buffer.SetSize(0);
      offset = 0;
      resuming = false;
      continue;
    }
    if (resuming && !resume_reported && (code == CURLE_OK || dialogue.m_rest_accepted)) {
      LogPrintf("BramFTP::GetFileAtPath> resuming download of \"%s\" at byte %llu.", path.c_str(),
                static_cast<unsigned long long>(offset));
      resume_reported = true;
    }
    switch (sink.GetStop()) {
      case TransferSink::Stop::CANCELLED:
        return BRAMRESULT_ABORTED;
      case TransferSink::Stop::WRITE_FAILED:
        LogPrintf("WriteData returned %u", sink.GetWriteResult());
        return sink.GetWriteResult();
      case TransferSink::Stop::TOO_LARGE:
        LogPrintf("BramFTP::GetFileAtPath> \"%s\" holds more than %llu bytes", path.c_str(),
                  static_cast<unsigned long long>(max_bytes));
        m_exceeded_limit = true;
        return BRAMRESULT_TRANSFER_FAILED;
      case TransferSink::Stop::NONE:
        break;
    }
    if (code == CURLE_OK) return BRAMRESULT_OK;
    m_error = error;
    if (dialogue.m_transfer_begun) {
      LogPrintf("InternetReadFile returned %u with actualByteCount=0", error);
      return BRAMRESULT_TRANSFER_FAILED;
    }
    if (error == INET_ERROR_CONNECTION_RESET) {
      // The resume point went with the old connection: start afresh.
      buffer.SetSize(0);
      buffer.SetPosition(0);
      offset = 0;
      resuming = false;
      ApplyReconnectRule();
    }
    if (++open_failures == 2) {
      LogPrintf("FtpOpenFile returned %u.", error);
      return BRAMRESULT_TRANSFER_FAILED;
    }
  }
}

BramResult BramFTP::GetFileSize(const std::string& path, std::uint64_t* size) {
  if (!m_connected) return BRAMRESULT_NOT_OPEN;
  std::uint32_t error = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0) ApplyReconnectRule();
    Dialogue dialogue;
    const int code = Perform(path, 0, nullptr, &dialogue);
    if (code == CURLE_OK && dialogue.m_size >= 0) {
      *size = static_cast<std::uint64_t>(dialogue.m_size);
      return BRAMRESULT_OK;
    }
    // A server that answers without a size has refused to tell it.
    error = code == CURLE_OK ? INET_ERROR_EXTENDED : dialogue.m_error;
    m_error = error;
  }
  LogPrintf("FtpOpenFile returned %u.", error);
  return BRAMRESULT_TRANSFER_FAILED;
}
