// What the HTTP and FTP halves of the transfer client share on top of
// libcurl: handles with the common options, the URL built from its parts,
// and the sink that stores arriving chunks. Internal to online/.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/bram_result.h"

class BramDataBuffer;
class DownloadURLCallback;
struct BramURLParts;

// The most bytes handed to the buffer in one piece.
constexpr std::size_t INET_CHUNK_SIZE = 16384;
// The most bytes taken from the network in one read.
constexpr std::size_t INET_RECEIVE_SIZE = 4 * INET_CHUNK_SIZE;

// An easy handle with the options every transfer uses: user agent "Bram",
// 16384-byte chunks, the time-outs of BramInetInternal, no signals, peer and
// host verification for TLS with the CA bundle named by CURL_CA_BUNDLE or
// SSL_CERT_FILE when set. Proxies come from the usual environment
// variables. Null when libcurl cannot make one.
CURL* NewTransferHandle();

// Fills `url` with scheme, host, port and path. For http and https the path
// is sent as written (a '?' starts the query) with only blanks, control and
// non-ASCII bytes and '#' escaped; for ftp every byte of the path except
// '/' and the unreserved ones is escaped, so the server sees it literally.
// CURLUE_OK, or the part that was refused (a host libcurl cannot accept).
CURLUcode FillTransferURL(CURLU* url, const BramURLParts& parts, std::int32_t port);

// The socket error behind the last failure on `handle`, 0 when none.
long TransferOsErrno(CURL* handle);

// Receives the body of one attempt and stores it chunk by chunk.
class TransferSink {
 public:
  enum class Stop { NONE, CANCELLED, WRITE_FAILED, TOO_LARGE };

  // Bytes of the resource are counted from `origin`, the buffer position
  // that holds its first byte; `max_bytes` (0: no limit) is the most the
  // resource may hold. Both objects must outlive the sink.
  TransferSink(BramDataBuffer& buffer, DownloadURLCallback* callback, std::uint64_t origin,
               std::uint64_t max_bytes)
      : m_buffer(buffer), m_callback(callback), m_origin(origin), m_max_bytes(max_bytes) {}

  // Installs the sink as the handle's write function.
  void Attach(CURL* handle);

  Stop GetStop() const { return m_stop; }
  BramResult GetWriteResult() const { return m_write_result; }
  std::uint64_t GetMaxBytes() const { return m_max_bytes; }

 private:
  static std::size_t OnData(char* data, std::size_t size, std::size_t count, void* sink);
  bool Take(const char* data, std::size_t size);

  BramDataBuffer& m_buffer;
  DownloadURLCallback* m_callback;
  std::uint64_t m_origin;
  std::uint64_t m_max_bytes;
  Stop m_stop = Stop::NONE;
  BramResult m_write_result = BRAMRESULT_OK;
};
