// The records of the minidump format (MDMP) that our writer produces, laid
// out byte for byte as readers (lldb, WinDbg, breakpad tools) expect them:
// little-endian, packed. docs/crash-dumps.md describes which streams a dump
// holds.
#pragma once

#include <cstdint>

namespace Minidump {

constexpr std::uint32_t SIGNATURE = 0x504d444d;  // "MDMP"
constexpr std::uint32_t VERSION = 0xa793;
constexpr std::uint64_t TYPE_WITH_INDIRECTLY_REFERENCED_MEMORY = 0x40;

constexpr std::uint32_t STREAM_THREAD_LIST = 3;
constexpr std::uint32_t STREAM_MODULE_LIST = 4;
constexpr std::uint32_t STREAM_MEMORY_LIST = 5;
constexpr std::uint32_t STREAM_EXCEPTION = 6;
constexpr std::uint32_t STREAM_SYSTEM_INFO = 7;
constexpr std::uint32_t STREAM_MISC_INFO = 15;
constexpr std::uint32_t STREAM_LINUX_PROC_STATUS = 0x47670004;  // text of /proc/self/status
constexpr std::uint32_t STREAM_LINUX_CMD_LINE = 0x47670006;     // bytes of /proc/self/cmdline
constexpr std::uint32_t STREAM_LINUX_MAPS = 0x47670009;         // text of /proc/self/maps

constexpr std::uint16_t ARCHITECTURE_AMD64 = 9;
constexpr std::uint32_t PLATFORM_LINUX = 0x8201;
constexpr std::uint32_t CV_SIGNATURE_ELF_BUILD_ID = 0x4270454c;  // "LEpB"
constexpr std::uint32_t MISC1_PROCESS_ID = 1;

// CONTEXT_AMD64 | CONTROL | INTEGER | SEGMENTS | FLOATING_POINT
constexpr std::uint32_t CONTEXT_AMD64_FULL = 0x0010000f;

#pragma pack(push, 1)

struct LocationDescriptor {
  std::uint32_t data_size;
  std::uint32_t rva;
};

struct MemoryDescriptor {
  std::uint64_t start;
  LocationDescriptor memory;
};

struct Header {
  std::uint32_t signature;
  std::uint32_t version;
  std::uint32_t stream_count;
  std::uint32_t stream_directory_rva;
  std::uint32_t checksum;
  std::uint32_t time_date_stamp;
  std::uint64_t flags;
};

struct Directory {
  std::uint32_t stream_type;
  LocationDescriptor location;
};

struct SystemInfo {
  std::uint16_t processor_architecture;
  std::uint16_t processor_level;
  std::uint16_t processor_revision;
  std::uint8_t processor_count;
  std::uint8_t product_type;
  std::uint32_t major_version;
  std::uint32_t minor_version;
  std::uint32_t build_number;
  std::uint32_t platform_id;
  std::uint32_t csd_version_rva;
  std::uint16_t suite_mask;
  std::uint16_t reserved2;
  std::uint32_t vendor_id[3];
  std::uint32_t version_information;
  std::uint32_t feature_information;
  std::uint32_t amd_extended_cpu_features;
};

struct MiscInfo {
  std::uint32_t size_of_info;
  std::uint32_t flags1;
  std::uint32_t process_id;
  std::uint32_t process_create_time;
  std::uint32_t process_user_time;
  std::uint32_t process_kernel_time;
};

// CONTEXT of x86-64 Windows, which minidump readers expect on every system.
struct ContextAmd64 {
  std::uint64_t p_home[6];
  std::uint32_t context_flags;
  std::uint32_t mx_csr;
  std::uint16_t seg_cs, seg_ds, seg_es, seg_fs, seg_gs, seg_ss;
  std::uint32_t eflags;
  std::uint64_t dr0, dr1, dr2, dr3, dr6, dr7;
  std::uint64_t rax, rcx, rdx, rbx, rsp, rbp, rsi, rdi;
  std::uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
  std::uint64_t rip;
  std::uint8_t float_save[512];  // FXSAVE layout
  std::uint8_t vector_register[26 * 16];
  std::uint64_t vector_control;
  std::uint64_t debug_control;
  std::uint64_t last_branch_to_rip;
  std::uint64_t last_branch_from_rip;
  std::uint64_t last_exception_to_rip;
  std::uint64_t last_exception_from_rip;
};

struct Thread {
  std::uint32_t thread_id;
  std::uint32_t suspend_count;
  std::uint32_t priority_class;
  std::uint32_t priority;
  std::uint64_t teb;
  MemoryDescriptor stack;
  LocationDescriptor context;
};

struct FixedFileInfo {
  std::uint32_t fields[13];
};

struct Module {
  std::uint64_t base_of_image;
  std::uint32_t size_of_image;
  std::uint32_t checksum;
  std::uint32_t time_date_stamp;
  std::uint32_t module_name_rva;
  FixedFileInfo version_info;
  LocationDescriptor cv_record;
  LocationDescriptor misc_record;
  std::uint64_t reserved0;
  std::uint64_t reserved1;
};

struct Exception {
  std::uint32_t exception_code;
  std::uint32_t exception_flags;
  std::uint64_t exception_record;
  std::uint64_t exception_address;
  std::uint32_t number_parameters;
  std::uint32_t unused_alignment;
  std::uint64_t exception_information[15];
};

struct ExceptionStream {
  std::uint32_t thread_id;
  std::uint32_t alignment;
  Exception exception_record;
  LocationDescriptor thread_context;
};

#pragma pack(pop)

static_assert(sizeof(Header) == 32);
static_assert(sizeof(Directory) == 12);
static_assert(sizeof(SystemInfo) == 56);
static_assert(sizeof(MiscInfo) == 24);
static_assert(sizeof(ContextAmd64) == 1232);
static_assert(sizeof(Thread) == 48);
static_assert(sizeof(Module) == 108);
static_assert(sizeof(ExceptionStream) == 168);

}  // namespace Minidump
