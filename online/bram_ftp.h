// BramFTP: one FTP control connection of the transfer client, for one
// DownloadURL or GetURLSize call. Every failure writes one diagnostic line.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/bram_result.h"
#include "online/inet_url.h"

class BramDataBuffer;
class DownloadURLCallback;
class TransferSink;

// Open flag bit 0: data connections are passive (the client connects).
constexpr std::int32_t BRAMFTP_FLAG_PASSIVE = 1;

class BramFTP {
 public:
  BramFTP() = default;
  ~BramFTP();
  BramFTP(const BramFTP&) = delete;
  BramFTP& operator=(const BramFTP&) = delete;

  // Connects to host:port and logs in (anonymously when `user` is empty),
  // closing a connection that is open. 0, or 3 after the line
  // "BramFTP::Open> Connection to "<host>" failed with error <n>".
  BramResult Open(const std::string& host, const std::string& user, const std::string& password,
                  std::int32_t flags, std::int32_t port = INET_PORT_FTP);

  // Fetches the file at `path` (relative to the login directory) into
  // `buffer`. A buffer that already holds bytes is taken as the start of the
  // file: the transfer resumes at its size (REST), up to two tries; when the
  // server refuses both, the buffer is emptied and the file fetched whole.
  // Opening the file gets two tries too. `max_bytes` (0: any) is the largest
  // file accepted: a longer one stops with 3 and ExceededLimit() true.
  // Results: 0; 7 when not connected; 3 for a failed step; 13 when
  // `callback` cancelled; a failed WriteData's result. The bytes that arrived
  // before a failure stay in the buffer, for the next resume.
  BramResult GetFileAtPath(const std::string& path, BramDataBuffer& buffer,
                           DownloadURLCallback* callback, std::uint64_t max_bytes = 0);

  // The size of the file at `path`: 0, 3, or 7 when not connected.
  BramResult GetFileSize(const std::string& path, std::uint64_t* size);

  bool IsConnected() const { return m_connected; }
  // True when the last GetFileAtPath stopped because the file passed its
  // `max_bytes`: trying again would not help.
  bool ExceededLimit() const { return m_exceeded_limit; }

 private:
  struct Dialogue;

  void Close();
  // After a failed step: a connection that was reset or aborted is opened
  // again with the stored settings.
  void ApplyReconnectRule();
  // One exchange on the connection for `path`: the body into `sink`, or
  // only the size when `sink` is null. Returns the CURLcode; *dialogue tells
  // how far the exchange came.
  int Perform(const std::string& path, std::uint64_t resume_at, TransferSink* sink,
              Dialogue* dialogue);

  void* m_connection = nullptr;  // the libcurl handle that holds the control connection
  void* m_url = nullptr;         // its URL, host and port fixed by Open
  bool m_connected = false;
  std::string m_host;
  std::string m_user;
  std::string m_password;
  std::int32_t m_flags = 0;
  std::int32_t m_port = INET_PORT_FTP;
  std::uint32_t m_error = 0;  // error number of the last failed step
  bool m_exceeded_limit = false;
};
