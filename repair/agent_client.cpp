#include "repair/agent_client.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/utf.h"
#include "kit/data_buffer_file.h"
#include "kit/little_endian.h"
#include "platform/replace_file.h"
#include "repair/agent_client_task.h"
#include "repair/data_buffer_tcp.h"
#include "repair/repair_protocol.h"

namespace {

constexpr int SLOT_COUNT = 4;
// A save after every 33 received segments keeps most of an interrupted
// repair's work for the next run.
constexpr int SEGMENTS_BETWEEN_SAVES = 32;
constexpr char TEMPORARY_SUFFIX[] = ".tmp";

bool IsSymbolicLink(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

bool IsAcceptableRoot(const std::string& path) {
  const std::u16string units = Utf8ToUtf16(path);
  if (units.size() <= 4) return false;
  for (const char16_t unit : {units.front(), units.back()}) {
    if (unit == u'"' || unit > 127) return false;
  }
  return true;
}

}  // namespace

BramAgentClient::BramAgentClient() = default;

BramAgentClient::~BramAgentClient() {
  if (!m_thread.joinable()) return;
  m_cancel.store(true);
  if (m_connection) m_connection->CloseAbortive();
  m_thread.join();
}

BramResult BramAgentClient::SetRootDirectory(const std::string& path) {
  if (IsRunning()) return BRAMRESULT_NOT_OPEN;
  if (path.empty() || !IsAcceptableRoot(path)) return BRAMRESULT_BAD_ADDRESS;
  m_root = path;
  m_stage.store(REPAIR_STAGE_CONFIGURED);
  m_done.store(false);
  m_error.store(BRAMRESULT_OK);
  return BRAMRESULT_OK;
}

BramResult BramAgentClient::SetChecksumFile(const std::string& path) {
  if (IsRunning()) return BRAMRESULT_NOT_OPEN;
  if (path.empty()) return BRAMRESULT_BAD_ADDRESS;
  m_checksumfile = path;
  m_stage.store(REPAIR_STAGE_CONFIGURED);
  m_done.store(false);
  m_error.store(BRAMRESULT_OK);
  return BRAMRESULT_OK;
}

BramResult BramAgentClient::SetServerAddress(const BramSocketAddress& address) {
  if (IsRunning()) return BRAMRESULT_NOT_OPEN;
  m_serveraddress = address;
  m_stage.store(REPAIR_STAGE_CONFIGURED);
  m_done.store(false);
  m_error.store(BRAMRESULT_OK);
  return BRAMRESULT_OK;
}

BramResult BramAgentClient::SetExclusions(const std::set<std::string>& exclusions) {
  if (IsRunning()) return BRAMRESULT_NOT_OPEN;
  m_exclusions = exclusions;
  m_stage.store(REPAIR_STAGE_CONFIGURED);
  m_done.store(false);
  m_error.store(BRAMRESULT_OK);
  return BRAMRESULT_OK;
}

void BramAgentClient::Start() {
  if (IsRunning()) return;
  if (m_thread.joinable()) m_thread.join();  // the previous run's worker has returned
  m_stage.store(REPAIR_STAGE_STARTED);
  m_running.store(true);
  m_done.store(false);
  m_error.store(BRAMRESULT_OK);
  m_cancel.store(false);
  m_announced.store(0);
  m_received.store(0);
  m_connection = std::make_unique<BramDataBufferTCP>();
  m_thread = std::thread([this] { RunWorker(); });
}

bool BramAgentClient::Succeeded() const {
  return !IsRunning() && GetStage() == REPAIR_STAGE_FINISHED && GetError() == BRAMRESULT_OK;
}

float BramAgentClient::GetRepairProgress() const {
  const int stage = GetStage();
  if (stage == REPAIR_STAGE_FINISHED) return 1.0f;
  if (stage <= REPAIR_STAGE_LISTING) return 0.0f;
  const std::uint32_t announced = GetTotalCount();
  const std::uint32_t received = GetReceivedCount();
  if (announced == 0) return 0.0f;
  if (received >= announced) return 1.0f;
  return static_cast<float>(received) / static_cast<float>(announced);
}

bool BramAgentClient::Fail(BramResult error) {
  m_error.store(error);
  return false;
}

void BramAgentClient::RunWorker() {
  if (m_root.empty() || m_checksumfile.empty()) {
    Fail(BRAMRESULT_BAD_ADDRESS);
  } else if (Scan() && ConnectAndGreet() && ExchangeSummary() && ReceiveSegments()) {
    m_error.store(BRAMRESULT_OK);
    m_stage.store(REPAIR_STAGE_FINISHED);
    m_done.store(true);
  }
  m_running.store(false);
}

bool BramAgentClient::Scan() {
  m_stage.store(REPAIR_STAGE_SCANNING);
  LoadChecksumFile();
  m_scanexclusions.clear();
  const auto add_exclusion = [this](const std::string& full_path) {
    std::string relative = RelativePath(full_path, m_root);
    if (relative.empty()) return;
    NormalizeSeparators(relative, '\\');
    m_scanexclusions.insert(relative);
  };
  add_exclusion(m_checksumfile);
  add_exclusion(m_checksumfile + TEMPORARY_SUFFIX);
  for (const std::string& exclusion : m_exclusions) add_exclusion(exclusion);

  const BramResult scanned =
      m_summary.RegisterTree(m_root, m_scanexclusions, [this] { return !m_cancel.load(); });
  if (scanned != BRAMRESULT_OK) return Fail(scanned);
  SaveChecksumFile();
  return true;
}

bool BramAgentClient::ConnectAndGreet() {
  if (m_cancel.load()) return Fail(BRAMRESULT_ABORTED);
  m_stage.store(REPAIR_STAGE_CONNECTING);
  const BramResult connected = m_connection->Connect(m_serveraddress);
  if (connected != BRAMRESULT_OK) return Fail(connected);
  std::uint8_t greeting[4];
  StoreLittleEndian32(greeting, REPAIR_GREETING);
  std::uint32_t answer = 0xFFFFFFFFu;  // -1: no answer
  if (m_connection->WriteData(greeting, 4) == BRAMRESULT_OK &&
      m_connection->ReadData(greeting, 4) == BRAMRESULT_OK) {
    answer = LoadLittleEndian32(greeting);
  }
  if (answer != REPAIR_GREETING) return Fail(BRAMRESULT_BAD_FORMAT);
  return true;
}

bool BramAgentClient::ExchangeSummary() {
  if (m_cancel.load()) return Fail(BRAMRESULT_ABORTED);
  m_stage.store(REPAIR_STAGE_LISTING);
  BramResult result = m_summary.SaveSummary(*m_connection);
  m_announced.store(0);
  m_received.store(0);
  if (result != BRAMRESULT_OK) return Fail(result);
  std::uint8_t count[4];
  result = m_connection->ReadData(count, 4);
  if (result != BRAMRESULT_OK) return Fail(result);
  m_announced.store(LoadLittleEndian32(count));
  return true;
}

bool BramAgentClient::ReceiveSegments() {
  m_stage.store(REPAIR_STAGE_RECEIVING);
  std::array<BramAgentClientTask, SLOT_COUNT> slots;
  int i = 0;
  int since_save = 0;
  while (m_connection->IsConnected() && m_received.load() < m_announced.load() &&
         !m_cancel.load() && slots[i].ReceiveFile(*this)) {
    if (since_save++ >= SEGMENTS_BETWEEN_SAVES) {
      SaveChecksumFile();
      since_save = 0;
    }
    if (!slots[(i + 1) % SLOT_COUNT].WriteFileEnd()) break;
    if (!slots[(i + 2) % SLOT_COUNT].WriteFileBegin()) break;
    i = (i + 1) % SLOT_COUNT;
  }
  // Drain in slot order; a segment counts as received only once it is
  // written, so a failing write here fails the run as well.
  bool drained = true;
  for (BramAgentClientTask& slot : slots) drained = slot.WriteFileEnd() && drained;
  SaveChecksumFile();
  if (m_received.load() < m_announced.load() || !drained) return Fail(BRAMRESULT_TRANSFER_FAILED);
  return true;
}

bool BramAgentClient::IsExcludedPath(std::string_view path) const {
  for (const std::string& pattern : m_scanexclusions) {
    if (MatchesExclusionPattern(path, pattern)) return true;
  }
  return false;
}

void BramAgentClient::LoadChecksumFile() {
  if (IsSymbolicLink(m_checksumfile)) {
    LogPrintf("BramAgentClient> not following the link %s", m_checksumfile.c_str());
    return;
  }
  BramDataBufferFile file(m_checksumfile, BRAMFILE_MODE_READ);
  if (file.IsOpen()) m_summary.LoadSummary(file);
}

void BramAgentClient::SaveChecksumFile() {
  const std::string temporary = m_checksumfile + TEMPORARY_SUFFIX;
  DeletePath(temporary);  // a stale file, or a link that must not be followed
  BramResult saved = BRAMRESULT_NOT_OPEN;
  {
    BramDataBufferFile file(temporary, BRAMFILE_MODE_CREATE);
    if (file.IsOpen()) saved = m_summary.SaveSummary(file);
  }
  if (saved != BRAMRESULT_OK || !ReplaceFileAtomically(temporary, m_checksumfile)) {
    LogPrintf("BramAgentClient> unable to save %s (err %d)", m_checksumfile.c_str(),
              static_cast<int>(saved));
    DeletePath(temporary);
  }
}
