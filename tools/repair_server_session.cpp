#include "tools/repair_server_session.h"

#include <asio/buffer.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>

#include <array>
#include <cstring>
#include <vector>

#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/compressed_stream.h"
#include "kit/data_buffer.h"
#include "kit/data_buffer_memory_dynamic.h"
#include "kit/data_buffer_memory_static.h"
#include "kit/little_endian.h"
#include "repair/file_tree_summary.h"
#include "repair/repair_protocol.h"
#include "repair/segment_checksum.h"
#include "repair/segment_key.h"
#include "tools/repair_server_plan.h"
#include "tools/repair_server_reference.h"

namespace BramPatch {

namespace {

using asio::ip::tcp;

// Compression is tried on this much of a segment first; data that does not
// shrink by a tenth there is sent plain without compressing the rest.
constexpr std::uint32_t COMPRESSION_PROBE = 64 * 1024;

// The client's summary arrives through this: reads served from a buffer
// that is refilled with whatever the socket has.
class SocketReader : public BramDataBuffer {
 public:
  explicit SocketReader(tcp::socket& socket) : m_socket(socket) {}

  BramResult ReadData(void* bytes, std::uint32_t count) override {
    auto* out = static_cast<std::uint8_t*>(bytes);
    while (count > 0) {
      if (m_begin == m_end) {
        asio::error_code error;
        m_end = m_socket.read_some(asio::buffer(m_buffer), error);
        m_begin = 0;
        if (error) return BRAMRESULT_ABORTED;
      }
      const std::size_t piece = std::min<std::size_t>(count, m_end - m_begin);
      std::memcpy(out, m_buffer.data() + m_begin, piece);
      m_begin += piece;
      out += piece;
      count -= static_cast<std::uint32_t>(piece);
    }
    return BRAMRESULT_OK;
  }

 private:
  tcp::socket& m_socket;
  std::array<std::uint8_t, 65536> m_buffer{};
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
};

bool SendAll(tcp::socket& socket, const std::vector<asio::const_buffer>& buffers,
             RepairSessionReport* report) {
  asio::error_code error;
  report->bytes_sent += asio::write(socket, buffers, error);
  if (error) report->failure = "send failed: " + error.message();
  return !error;
}

std::string RecordHeader(bool compressed, const std::string& key, std::uint32_t checksum,
                         std::uint32_t length) {
  const std::u16string key16 = Utf8ToUtf16(key);
  std::string header(1, compressed ? '\1' : '\0');
  std::uint8_t field[4];
  StoreLittleEndian32(field, static_cast<std::uint32_t>(key16.size()));
  header.append(reinterpret_cast<char*>(field), 4);
  header += Utf16ToLeBytes(key16);
  StoreLittleEndian32(field, checksum);
  header.append(reinterpret_cast<char*>(field), 4);
  StoreLittleEndian32(field, length);
  header.append(reinterpret_cast<char*>(field), 4);
  return header;
}

// Compresses `bytes` into `out` when that is worth it; true when `out`
// holds a smaller compressed stream.
bool CompressIfSmaller(const std::uint8_t* bytes, std::uint32_t length,
                       BramDataBufferMemoryDynamic& out) {
  if (length == 0) return false;
  const std::uint32_t probe = length < COMPRESSION_PROBE ? length : COMPRESSION_PROBE;
  BramDataBufferMemoryStatic sample(const_cast<std::uint8_t*>(bytes), probe);
  out.SetSize(0);
  out.SetPosition(0);
  if (BramUtil::CompressData(out, sample) != BRAMRESULT_OK) return false;
  if (out.GetSize() * 10 >= std::uint64_t{probe} * 9 && probe < length) return false;
  if (probe < length) {
    BramDataBufferMemoryStatic whole(const_cast<std::uint8_t*>(bytes), length);
    out.SetSize(0);
    out.SetPosition(0);
    if (BramUtil::CompressData(out, whole) != BRAMRESULT_OK) return false;
  }
  return out.GetSize() < length;
}

}  // namespace

RepairSessionReport ServeRepairSession(tcp::socket& socket, RepairReference& reference) {
  RepairSessionReport report;
  SocketReader reader(socket);
  std::uint8_t word[4];
  if (reader.ReadData(word, 4) != BRAMRESULT_OK) {
    report.failure = "no greeting";
    return report;
  }
  if (LoadLittleEndian32(word) != REPAIR_GREETING) {
    report.failure = "wrong greeting " + std::to_string(LoadLittleEndian32(word));
    return report;
  }
  StoreLittleEndian32(word, REPAIR_GREETING);
  if (!SendAll(socket, {asio::buffer(word, 4)}, &report)) return report;

  FileTreeSummary client;
  const BramResult loaded = client.LoadSummary(reader);
  if (loaded != BRAMRESULT_OK) {
    report.failure = "unreadable summary (error " + std::to_string(loaded) + ")";
    return report;
  }
  const std::vector<RepairRecordPlan> plan =
      PlanRepairRecords(reference.Refresh(), client.GetEntries(),
                        [&reference](std::string_view path) { return reference.IsExcluded(path); });
  StoreLittleEndian32(word, static_cast<std::uint32_t>(plan.size()));
  if (!SendAll(socket, {asio::buffer(word, 4)}, &report)) return report;

  std::vector<std::uint8_t> segment(SEGMENT_SIZE);
  BramDataBufferMemoryDynamic compressed;
  for (const RepairRecordPlan& record : plan) {
    if (!record.has_data) {
      const std::string header = RecordHeader(false, record.key, 0, 0);
      if (!SendAll(socket, {asio::buffer(header)}, &report)) return report;
      ++report.empty_records;
      continue;
    }
    std::uint32_t length = 0;
    if (!ReadSegmentFromFile(JoinPath(reference.GetRoot(), record.key), segment.data(), &length)) {
      report.failure = "cannot read " + record.key;
      return report;
    }
    const std::uint32_t checksum = ChecksumSegmentBytes(segment.data(), length);
    const bool packed = CompressIfSmaller(segment.data(), length, compressed);
    const std::uint32_t sent_length =
        packed ? static_cast<std::uint32_t>(compressed.GetSize()) : length;
    const std::string header = RecordHeader(packed, record.key, checksum, sent_length);
    const asio::const_buffer data = packed ? asio::buffer(compressed.GetData(), sent_length)
                                           : asio::buffer(segment.data(), length);
    if (!SendAll(socket, {asio::buffer(header), data}, &report)) return report;
    ++report.data_records;
    if (packed) ++report.compressed_records;
  }
  report.completed = true;
  return report;
}

}  // namespace BramPatch
