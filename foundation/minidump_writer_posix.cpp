#include "foundation/minidump_writer.h"

#include <cpuid.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "foundation/minidump_format.h"
#include "foundation/process_maps.h"
#include "foundation/thread_capture.h"

namespace {

constexpr std::uint64_t RED_ZONE = 128;
constexpr std::uint64_t STACK_LIMIT = 8u << 20;   // bytes of one stack, from the stack pointer up
constexpr std::uint64_t STACK_SLACK = 64u << 10;  // a stack pointer this far below its mapping
constexpr std::uint64_t AROUND_POINTER = 256;     // bytes kept on each side of a register value
constexpr int POINTER_REGISTERS = REG_RIP + 1;    // REG_R8 ... REG_RIP
constexpr int RANGE_CAPACITY = THREAD_CAPTURE_CAPACITY * (POINTER_REGISTERS + 1) + 1;
constexpr int MODULE_CAPACITY = 4096;
constexpr std::size_t BUILD_ID_LIMIT = 64;
constexpr std::size_t STATUS_CAPACITY = 16384;
constexpr std::size_t COMMAND_LINE_CAPACITY = 8192;
constexpr std::uint32_t STREAM_COUNT = 9;

struct Prepared {
  std::uint8_t processor_count = 0;
  std::uint32_t vendor[3] = {};
  std::uint32_t version = 0;
  std::uint32_t features = 0;
  std::uint32_t amd_features = 0;
};

struct MemoryRange {
  std::uint64_t start;
  std::uint64_t end;
  std::uint32_t rva;
};

struct ModuleRecord {
  std::uint64_t base;
  std::uint64_t end;
  const char* path;
  std::uint8_t build_id[BUILD_ID_LIMIT];
  std::uint32_t build_id_size;
  std::uint32_t name_rva;
  std::uint32_t cv_rva;
};

Prepared g_prepared;
ProcessMaps g_maps;
ThreadRegisters g_self;
MemoryRange g_ranges[RANGE_CAPACITY];
ModuleRecord g_modules[MODULE_CAPACITY];
std::uint32_t g_context_rva[THREAD_CAPTURE_CAPACITY + 1];
char g_status[STATUS_CAPACITY];
char g_command_line[COMMAND_LINE_CAPACITY];

// Appends to the dump file through a fixed buffer; remembers failure.
class DumpOutput {
 public:
  void Begin(int fd) {
    m_fd = fd;
    m_position = 0;
    m_buffered = 0;
    m_ok = true;
  }
  bool Ok() const { return m_ok; }
  std::uint32_t Position() const { return static_cast<std::uint32_t>(m_position); }

  void Align(std::size_t alignment) {
    static const char zeros[16] = {};
    const std::size_t pad = (alignment - m_position % alignment) % alignment;
    Write(zeros, pad);
  }

  std::uint32_t Write(const void* data, std::size_t size) {
    const std::uint32_t rva = Position();
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      if (m_buffered == sizeof(m_buffer) && !Flush()) return rva;
      std::size_t part = sizeof(m_buffer) - m_buffered;
      if (part > size) part = size;
      std::memcpy(m_buffer + m_buffered, bytes, part);
      m_buffered += part;
      m_position += part;
      bytes += part;
      size -= part;
    }
    if (m_position > 0xFFFFFFFFu) m_ok = false;
    return rva;
  }

  // Copies live memory of this process; pages that cannot be read are
  // written as zeros, so the layout never shifts.
  std::uint32_t WriteMemory(std::uint64_t address, std::uint64_t size) {
    const std::uint32_t rva = Position();
    if (!Flush()) return rva;
    static const char zeros[4096] = {};
    while (size > 0 && m_ok) {
      std::size_t part = size > (1u << 20) ? (1u << 20) : static_cast<std::size_t>(size);
      const ssize_t written = write(m_fd, reinterpret_cast<const void*>(address), part);
      if (written > 0) {
        address += static_cast<std::uint64_t>(written);
        size -= static_cast<std::uint64_t>(written);
        m_position += static_cast<std::uint64_t>(written);
        continue;
      }
      if (written < 0 && errno == EINTR) continue;
      if (written < 0 && errno == EFAULT) {
        std::size_t fill = 4096 - static_cast<std::size_t>(address % 4096);
        if (fill > size) fill = static_cast<std::size_t>(size);
        if (!WriteRaw(zeros, fill)) return rva;
        address += fill;
        size -= fill;
        continue;
      }
      m_ok = false;
    }
    if (m_position > 0xFFFFFFFFu) m_ok = false;
    return rva;
  }

  bool Flush() {
    const std::size_t size = m_buffered;
    m_buffered = 0;
    m_position -= size;
    return WriteRaw(m_buffer, size);
  }

  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t written = pwrite(m_fd, bytes, size, static_cast<off_t>(offset));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return m_ok = false;
      bytes += written;
      offset += static_cast<std::uint64_t>(written);
      size -= static_cast<std::size_t>(written);
    }
    return m_ok;
  }

 private:
  bool WriteRaw(const char* data, std::size_t size) {
    while (size > 0 && m_ok) {
      const ssize_t written = write(m_fd, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        m_ok = false;
        break;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
      m_position += static_cast<std::uint64_t>(written);
    }
    return m_ok;
  }

  int m_fd = -1;
  std::uint64_t m_position = 0;  // including buffered bytes
  std::size_t m_buffered = 0;
  bool m_ok = true;
  char m_buffer[65536];
};

DumpOutput g_output;

bool ReadOwnMemory(std::uint64_t address, void* out, std::size_t size) {
  iovec local{out, size};
  iovec remote{reinterpret_cast<void*>(address), size};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

std::size_t ReadTextFile(const char* path, char* buffer, std::size_t capacity) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t size = 0;
  while (size < capacity) {
    const ssize_t got = read(fd, buffer + size, capacity - size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    size += static_cast<std::size_t>(got);
  }
  close(fd);
  return size;
}

// Decodes one UTF-8 sequence at *p (invalid bytes become U+FFFD) and
// returns its code point.
std::uint32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) {
  const unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  std::uint32_t code = lead & (0x3F >> extra);
  for (; extra > 0; --extra) {
    if (p == end || (*p & 0xC0) != 0x80) return 0xFFFD;
    code = (code << 6) | (*p++ & 0x3F);
  }
  return code > 0x10FFFF ? 0xFFFD : code;
}

// A MINIDUMP_STRING: byte length, UTF-16LE units, a NUL unit.
std::uint32_t WriteString(const char* text, std::size_t length) {
  const auto* begin = reinterpret_cast<const unsigned char*>(text);
  const auto* end = begin + length;
  std::uint32_t units = 0;
  for (const unsigned char* p = begin; p < end;) units += NextCodePoint(p, end) >= 0x10000 ? 2 : 1;
  g_output.Align(4);
  const std::uint32_t bytes = units * 2;
  const std::uint32_t rva = g_output.Write(&bytes, sizeof(bytes));
  for (const unsigned char* p = begin; p < end;) {
    std::uint32_t code = NextCodePoint(p, end);
    std::uint16_t pair[2];
    int count = 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      pair[0] = static_cast<std::uint16_t>(0xD800 + (code >> 10));
      pair[1] = static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF));
      count = 2;
    } else {
      pair[0] = static_cast<std::uint16_t>(code);
    }
    g_output.Write(pair, sizeof(std::uint16_t) * static_cast<std::size_t>(count));
  }
  const std::uint16_t nul = 0;
  g_output.Write(&nul, sizeof(nul));
  return rva;
}

void ContextFromRegisters(const ThreadRegisters& registers, Minidump::ContextAmd64* context) {
  std::memset(context, 0, sizeof(*context));
  const std::uint64_t* g = registers.gregs;
  context->context_flags = Minidump::CONTEXT_AMD64_FULL;
  context->rax = g[REG_RAX];
  context->rcx = g[REG_RCX];
  context->rdx = g[REG_RDX];
  context->rbx = g[REG_RBX];
  context->rsp = g[REG_RSP];
  context->rbp = g[REG_RBP];
  context->rsi = g[REG_RSI];
  context->rdi = g[REG_RDI];
  context->r8 = g[REG_R8];
  context->r9 = g[REG_R9];
  context->r10 = g[REG_R10];
  context->r11 = g[REG_R11];
  context->r12 = g[REG_R12];
  context->r13 = g[REG_R13];
  context->r14 = g[REG_R14];
  context->r15 = g[REG_R15];
  context->rip = g[REG_RIP];
  context->eflags = static_cast<std::uint32_t>(g[REG_EFL]);
  const std::uint64_t segments = g[REG_CSGSFS];
  context->seg_cs = static_cast<std::uint16_t>(segments & 0xFFFF);
  context->seg_gs = static_cast<std::uint16_t>((segments >> 16) & 0xFFFF);
  context->seg_fs = static_cast<std::uint16_t>((segments >> 32) & 0xFFFF);
  context->seg_ss = static_cast<std::uint16_t>((segments >> 48) & 0xFFFF);
  if (context->seg_ss == 0) context->seg_ss = 0x2b;  // the user data segment of x86-64 Linux
  if (registers.has_fpstate) {
    std::memcpy(context->float_save, registers.fpstate, sizeof(context->float_save));
    std::memcpy(&context->mx_csr, registers.fpstate + 24, sizeof(context->mx_csr));
  }
}

// The stack of a thread from its stack pointer (less the red zone) to the
// top of its mapping; false when the stack pointer is nowhere near memory.
bool StackRange(const ThreadRegisters& registers, std::uint64_t* start, std::uint64_t* end) {
  const std::uint64_t sp = registers.gregs[REG_RSP];
  const MapRegion* region = g_maps.FindAtOrAbove(sp, STACK_SLACK);
  if (region == nullptr || !ProcessMaps::IsCopyable(*region)) return false;
  std::uint64_t low = sp > RED_ZONE ? sp - RED_ZONE : 0;
  if (low < region->start) low = region->start;
  std::uint64_t high = region->end;
  if (high - low > STACK_LIMIT) high = low + STACK_LIMIT;
  *start = low;
  *end = high;
  return high > low;
}

int AddRange(int count, std::uint64_t start, std::uint64_t end) {
  if (count >= RANGE_CAPACITY || end <= start) return count;
  g_ranges[count].start = start;
  g_ranges[count].end = end;
  g_ranges[count].rva = 0;
  return count + 1;
}

// Memory around every register value that points into copyable memory.
int AddPointerRanges(int count, const ThreadRegisters& registers) {
  for (int r = 0; r < POINTER_REGISTERS; ++r) {
    const std::uint64_t value = registers.gregs[r];
    const MapRegion* region = g_maps.Find(value);
    if (region == nullptr || !ProcessMaps::IsCopyable(*region)) continue;
    std::uint64_t low = value > AROUND_POINTER ? value - AROUND_POINTER : 0;
    std::uint64_t high = value + AROUND_POINTER;
    if (low < region->start) low = region->start;
    if (high > region->end) high = region->end;
    count = AddRange(count, low, high);
  }
  return count;
}

// Sorts by start (Shell sort: no allocation, no recursion) and merges
// overlapping or touching ranges. Returns the new count.
int MergeRanges(int count) {
  for (int gap = count / 2; gap > 0; gap /= 2) {
    for (int i = gap; i < count; ++i) {
      const MemoryRange moving = g_ranges[i];
      int j = i;
      for (; j >= gap && g_ranges[j - gap].start > moving.start; j -= gap) {
        g_ranges[j] = g_ranges[j - gap];
      }
      g_ranges[j] = moving;
    }
  }
  int merged = 0;
  for (int i = 0; i < count; ++i) {
    if (merged > 0 && g_ranges[i].start <= g_ranges[merged - 1].end) {
      if (g_ranges[i].end > g_ranges[merged - 1].end) g_ranges[merged - 1].end = g_ranges[i].end;
    } else {
      g_ranges[merged++] = g_ranges[i];
    }
  }
  return merged;
}

// The file offset at which [start, end) was written, or 0.
std::uint32_t FindWrittenRange(int count, std::uint64_t start, std::uint64_t end) {
  for (int i = 0; i < count; ++i) {
    if (g_ranges[i].start <= start && end <= g_ranges[i].end) {
      return g_ranges[i].rva + static_cast<std::uint32_t>(start - g_ranges[i].start);
    }
  }
  return 0;
}

// Finds the GNU build id of the ELF image mapped at base.
std::uint32_t ReadBuildId(std::uint64_t base, std::uint8_t* out) {
  Elf64_Ehdr header;
  if (!ReadOwnMemory(base, &header, sizeof(header))) return 0;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum > 64) {
    return 0;
  }
  Elf64_Phdr headers[64];
  if (!ReadOwnMemory(base + header.e_phoff, headers, sizeof(Elf64_Phdr) * header.e_phnum)) return 0;
  std::uint64_t bias = base;
  for (int i = 0; i < header.e_phnum; ++i) {
    if (headers[i].p_type == PT_LOAD) {
      bias = base - (headers[i].p_vaddr & ~std::uint64_t{4095});
      break;
    }
  }
  for (int i = 0; i < header.e_phnum; ++i) {
    if (headers[i].p_type != PT_NOTE) continue;
    std::uint8_t notes[2048];
    std::size_t size = headers[i].p_filesz < sizeof(notes) ? headers[i].p_filesz : sizeof(notes);
    if (!ReadOwnMemory(bias + headers[i].p_vaddr, notes, size)) continue;
    for (std::size_t at = 0; at + sizeof(Elf64_Nhdr) <= size;) {
      Elf64_Nhdr note;
      std::memcpy(&note, notes + at, sizeof(note));
      const std::size_t name_at = at + sizeof(note);
      const std::size_t desc_at = name_at + ((note.n_namesz + 3) & ~3u);
      const std::size_t next = desc_at + ((note.n_descsz + 3) & ~3u);
      if (next > size) break;
      if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
          std::memcmp(notes + name_at, "GNU", 4) == 0 && note.n_descsz <= BUILD_ID_LIMIT) {
        std::memcpy(out, notes + desc_at, note.n_descsz);
        return note.n_descsz;
      }
      at = next;
    }
  }
  return 0;
}

bool IsElfImage(const MapRegion& region) {
  if (region.offset != 0 || region.path[0] != '/' || !ProcessMaps::IsCopyable(region)) return false;
  char magic[SELFMAG];
  return ReadOwnMemory(region.start, magic, sizeof(magic)) &&
         std::memcmp(magic, ELFMAG, SELFMAG) == 0;
}

// Each ELF file mapped from offset 0, with the mappings of the same file
// that follow it.
int GatherModules() {
  int count = 0;
  for (int i = 0; i < g_maps.RegionCount() && count < MODULE_CAPACITY; ++i) {
    const MapRegion& first = g_maps.Region(i);
    if (!IsElfImage(first)) continue;
    ModuleRecord& module = g_modules[count++];
    module.base = first.start;
    module.end = first.end;
    module.path = first.path;
    for (int j = i + 1; j < g_maps.RegionCount(); ++j) {
      const MapRegion& next = g_maps.Region(j);
      if (next.inode != first.inode || std::strcmp(next.path, first.path) != 0) break;
      module.end = next.end;
    }
    module.build_id_size = ReadBuildId(module.base, module.build_id);
  }
  return count;
}

std::uint32_t ParseVersionPart(const char*& p) {
  std::uint32_t value = 0;
  while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<std::uint32_t>(*p++ - '0');
  if (*p == '.') ++p;
  return value;
}

Minidump::LocationDescriptor WriteSystemInfo() {
  Minidump::SystemInfo info;
  std::memset(&info, 0, sizeof(info));
  info.processor_architecture = Minidump::ARCHITECTURE_AMD64;
  info.processor_level = static_cast<std::uint16_t>((g_prepared.version >> 8) & 0xF);
  info.processor_revision = static_cast<std::uint16_t>(g_prepared.version & 0xFFFF);
  info.processor_count = g_prepared.processor_count;
  info.platform_id = Minidump::PLATFORM_LINUX;
  std::memcpy(info.vendor_id, g_prepared.vendor, sizeof(info.vendor_id));
  info.version_information = g_prepared.version;
  info.feature_information = g_prepared.features;
  info.amd_extended_cpu_features = g_prepared.amd_features;
  utsname names;
  char csd[sizeof(names.sysname) + sizeof(names.release) + sizeof(names.version) +
           sizeof(names.machine) + 4];
  std::size_t length = 0;
  if (uname(&names) == 0) {
    const char* release = names.release;
    info.major_version = ParseVersionPart(release);
    info.minor_version = ParseVersionPart(release);
    info.build_number = ParseVersionPart(release);
    for (const char* part : {names.sysname, names.release, names.version, names.machine}) {
      if (length > 0) csd[length++] = ' ';
      const std::size_t size = std::strlen(part);
      std::memcpy(csd + length, part, size);
      length += size;
    }
  }
  info.csd_version_rva = WriteString(csd, length);
  g_output.Align(8);
  const std::uint32_t rva = g_output.Write(&info, sizeof(info));
  return {sizeof(info), rva};
}

Minidump::LocationDescriptor WriteMiscInfo() {
  Minidump::MiscInfo info;
  std::memset(&info, 0, sizeof(info));
  info.size_of_info = sizeof(info);
  info.flags1 = Minidump::MISC1_PROCESS_ID;
  info.process_id = static_cast<std::uint32_t>(getpid());
  const std::uint32_t rva = g_output.Write(&info, sizeof(info));
  return {sizeof(info), rva};
}

Minidump::LocationDescriptor WriteText(const char* text, std::size_t size) {
  g_output.Align(4);
  const std::uint32_t rva = g_output.Write(text, size);
  return {static_cast<std::uint32_t>(size), rva};
}

}  // namespace

void PrepareMinidumpWriter() {
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  g_prepared.processor_count = static_cast<std::uint8_t>(processors < 1     ? 1
                                                         : processors > 255 ? 255
                                                                            : processors);
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
    g_prepared.vendor[0] = ebx;
    g_prepared.vendor[1] = edx;
    g_prepared.vendor[2] = ecx;
  }
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    g_prepared.version = eax;
    g_prepared.features = edx;
  }
  if (__get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx)) g_prepared.amd_features = edx;
}

bool WriteMinidump(int fd, const void* context, const DumpCause& cause) {
  RegistersFromContext(context, &g_self);
  g_self.tid = CurrentThreadId();
  const ThreadRegisters* others = nullptr;
  const int other_count = SuspendOtherThreads(&others);
  g_maps.Read();
  const int thread_count = 1 + other_count;
  auto thread_at = [&](int index) -> const ThreadRegisters& {
    return index == 0 ? g_self : others[index - 1];
  };

  g_output.Begin(fd);
  Minidump::Directory directory[STREAM_COUNT];
  std::memset(directory, 0, sizeof(directory));
  g_output.Write(directory, sizeof(Minidump::Header));  // placeholders, written last
  g_output.Write(directory, sizeof(directory));

  directory[0] = {Minidump::STREAM_SYSTEM_INFO, WriteSystemInfo()};
  directory[1] = {Minidump::STREAM_MISC_INFO, WriteMiscInfo()};

  for (int i = 0; i < thread_count; ++i) {
    Minidump::ContextAmd64 registers;
    ContextFromRegisters(thread_at(i), &registers);
    g_output.Align(16);
    g_context_rva[i] = g_output.Write(&registers, sizeof(registers));
  }

  int range_count = 0;
  for (int i = 0; i < thread_count; ++i) {
    std::uint64_t start, end;
    if (StackRange(thread_at(i), &start, &end)) range_count = AddRange(range_count, start, end);
    range_count = AddPointerRanges(range_count, thread_at(i));
  }
  range_count = MergeRanges(range_count);
  for (int i = 0; i < range_count; ++i) {
    g_output.Align(16);
    g_ranges[i].rva = g_output.WriteMemory(g_ranges[i].start, g_ranges[i].end - g_ranges[i].start);
  }

  g_output.Align(8);
  const std::uint32_t count32 = static_cast<std::uint32_t>(thread_count);
  const std::uint32_t thread_list_rva = g_output.Write(&count32, sizeof(count32));
  for (int i = 0; i < thread_count; ++i) {
    Minidump::Thread thread;
    std::memset(&thread, 0, sizeof(thread));
    thread.thread_id = static_cast<std::uint32_t>(thread_at(i).tid);
    thread.context = {sizeof(Minidump::ContextAmd64), g_context_rva[i]};
    std::uint64_t start, end;
    if (StackRange(thread_at(i), &start, &end)) {
      const std::uint32_t rva = FindWrittenRange(range_count, start, end);
      if (rva != 0) thread.stack = {start, {static_cast<std::uint32_t>(end - start), rva}};
    }
    g_output.Write(&thread, sizeof(thread));
  }
  directory[2] = {
      Minidump::STREAM_THREAD_LIST,
      {static_cast<std::uint32_t>(4 + thread_count * sizeof(Minidump::Thread)), thread_list_rva}};

  const std::uint32_t range_count32 = static_cast<std::uint32_t>(range_count);
  const std::uint32_t memory_list_rva = g_output.Write(&range_count32, sizeof(range_count32));
  for (int i = 0; i < range_count; ++i) {
    Minidump::MemoryDescriptor descriptor{
        g_ranges[i].start,
        {static_cast<std::uint32_t>(g_ranges[i].end - g_ranges[i].start), g_ranges[i].rva}};
    g_output.Write(&descriptor, sizeof(descriptor));
  }
  directory[3] = {Minidump::STREAM_MEMORY_LIST,
                  {static_cast<std::uint32_t>(4 + range_count * sizeof(Minidump::MemoryDescriptor)),
                   memory_list_rva}};

  Minidump::ExceptionStream exception;
  std::memset(&exception, 0, sizeof(exception));
  exception.thread_id = static_cast<std::uint32_t>(g_self.tid);
  exception.exception_record.exception_code = static_cast<std::uint32_t>(cause.signal_number);
  exception.exception_record.exception_flags = static_cast<std::uint32_t>(cause.signal_code);
  exception.exception_record.exception_address = cause.address;
  exception.thread_context = {sizeof(Minidump::ContextAmd64), g_context_rva[0]};
  g_output.Align(8);
  directory[4] = {Minidump::STREAM_EXCEPTION,
                  {sizeof(exception), g_output.Write(&exception, sizeof(exception))}};

  const int module_count = GatherModules();
  for (int i = 0; i < module_count; ++i) {
    ModuleRecord& module = g_modules[i];
    module.name_rva = WriteString(module.path, std::strlen(module.path));
    g_output.Align(4);
    module.cv_rva = g_output.Write(&Minidump::CV_SIGNATURE_ELF_BUILD_ID, 4);
    g_output.Write(module.build_id, module.build_id_size);
  }
  g_output.Align(8);
  const std::uint32_t module_count32 = static_cast<std::uint32_t>(module_count);
  const std::uint32_t module_list_rva = g_output.Write(&module_count32, sizeof(module_count32));
  for (int i = 0; i < module_count; ++i) {
    const ModuleRecord& record = g_modules[i];
    Minidump::Module module;
    std::memset(&module, 0, sizeof(module));
    module.base_of_image = record.base;
    module.size_of_image = static_cast<std::uint32_t>(record.end - record.base);
    module.module_name_rva = record.name_rva;
    module.version_info.fields[0] = 0xfeef04bd;  // VS_FIXEDFILEINFO signature
    if (record.build_id_size > 0) module.cv_record = {4 + record.build_id_size, record.cv_rva};
    g_output.Write(&module, sizeof(module));
  }
  directory[5] = {
      Minidump::STREAM_MODULE_LIST,
      {static_cast<std::uint32_t>(4 + module_count * sizeof(Minidump::Module)), module_list_rva}};

  directory[6] = {Minidump::STREAM_LINUX_MAPS, WriteText(g_maps.Text(), g_maps.TextSize())};
  const std::size_t status_size = ReadTextFile("/proc/self/status", g_status, sizeof(g_status));
  directory[7] = {Minidump::STREAM_LINUX_PROC_STATUS, WriteText(g_status, status_size)};
  const std::size_t command_line_size =
      ReadTextFile("/proc/self/cmdline", g_command_line, sizeof(g_command_line));
  directory[8] = {Minidump::STREAM_LINUX_CMD_LINE, WriteText(g_command_line, command_line_size)};

  ResumeOtherThreads();

  g_output.Flush();
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  Minidump::Header header;
  header.signature = Minidump::SIGNATURE;
  header.version = Minidump::VERSION;
  header.stream_count = STREAM_COUNT;
  header.stream_directory_rva = sizeof(Minidump::Header);
  header.checksum = 0;
  header.time_date_stamp = static_cast<std::uint32_t>(now.tv_sec);
  header.flags = Minidump::TYPE_WITH_INDIRECTLY_REFERENCED_MEMORY;
  g_output.WriteAt(0, &header, sizeof(header));
  g_output.WriteAt(sizeof(header), directory, sizeof(directory));
  return g_output.Ok();
}
