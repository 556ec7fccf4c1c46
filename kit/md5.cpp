#include "kit/md5.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::size_t MD5_FILE_PIECE = 16384;

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void Store32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// The auxiliary functions of RFC 1321 in forms with fewer operations.
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return z ^ (x & (y ^ z));
}
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

}  // namespace

// One step: the message word and the constant go in first, so that they are
// added while the auxiliary function still waits for b, c and d.
#define MD5_STEP(f, a, b, c, d, k, s, t) \
  do {                                   \
    a += Load32(block + 4 * (k)) + (t);  \
    a += f(b, c, d);                     \
    a = std::rotl(a, s) + b;             \
  } while (0)

// G(b, c, d) = (b & d) | (c & ~d); the two terms share no bits, so they are
// added separately, which shortens the chain of dependent operations.
#define MD5_STEP_G(a, b, c, d, k, s, t) \
  do {                                  \
    a += Load32(block + 4 * (k)) + (t); \
    a += c & ~d;                        \
    a += b & d;                         \
    a = std::rotl(a, s) + b;            \
  } while (0)

MD5::MD5() : m_state{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

MD5::MD5(std::FILE* file) : MD5() {
  if (file == nullptr) return;
  std::uint8_t piece[MD5_FILE_PIECE];
  for (;;) {
    const std::size_t n = std::fread(piece, 1, sizeof piece, file);
    update(piece, n);
    if (n < sizeof piece) break;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (!failed) finalize();
}

void MD5::Transform(const std::uint8_t* block, std::size_t count) {
  std::uint32_t a0 = m_state[0], b0 = m_state[1], c0 = m_state[2], d0 = m_state[3];
  for (; count != 0; --count, block += 64) {
    std::uint32_t a = a0, b = b0, c = c0, d = d0;

    MD5_STEP(F, a, b, c, d, 0, 7, 0xd76aa478u);
    MD5_STEP(F, d, a, b, c, 1, 12, 0xe8c7b756u);
    MD5_STEP(F, c, d, a, b, 2, 17, 0x242070dbu);
    MD5_STEP(F, b, c, d, a, 3, 22, 0xc1bdceeeu);
    MD5_STEP(F, a, b, c, d, 4, 7, 0xf57c0fafu);
    MD5_STEP(F, d, a, b, c, 5, 12, 0x4787c62au);
    MD5_STEP(F, c, d, a, b, 6, 17, 0xa8304613u);
    MD5_STEP(F, b, c, d, a, 7, 22, 0xfd469501u);
    MD5_STEP(F, a, b, c, d, 8, 7, 0x698098d8u);
    MD5_STEP(F, d, a, b, c, 9, 12, 0x8b44f7afu);
    MD5_STEP(F, c, d, a, b, 10, 17, 0xffff5bb1u);
    MD5_STEP(F, b, c, d, a, 11, 22, 0x895cd7beu);
    MD5_STEP(F, a, b, c, d, 12, 7, 0x6b901122u);
    MD5_STEP(F, d, a, b, c, 13, 12, 0xfd987193u);
    MD5_STEP(F, c, d, a, b, 14, 17, 0xa679438eu);
    MD5_STEP(F, b, c, d, a, 15, 22, 0x49b40821u);

    MD5_STEP_G(a, b, c, d, 1, 5, 0xf61e2562u);
    MD5_STEP_G(d, a, b, c, 6, 9, 0xc040b340u);
    MD5_STEP_G(c, d, a, b, 11, 14, 0x265e5a51u);
    MD5_STEP_G(b, c, d, a, 0, 20, 0xe9b6c7aau);
    MD5_STEP_G(a, b, c, d, 5, 5, 0xd62f105du);
    MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453u);
    MD5_STEP_G(c, d, a, b, 15, 14, 0xd8a1e681u);
    MD5_STEP_G(b, c, d, a, 4, 20, 0xe7d3fbc8u);
    MD5_STEP_G(a, b, c, d, 9, 5, 0x21e1cde6u);
    MD5_STEP_G(d, a, b, c, 14, 9, 0xc33707d6u);
    MD5_STEP_G(c, d, a, b, 3, 14, 0xf4d50d87u);
    MD5_STEP_G(b, c, d, a, 8, 20, 0x455a14edu);
    MD5_STEP_G(a, b, c, d, 13, 5, 0xa9e3e905u);
    MD5_STEP_G(d, a, b, c, 2, 9, 0xfcefa3f8u);
    MD5_STEP_G(c, d, a, b, 7, 14, 0x676f02d9u);
    MD5_STEP_G(b, c, d, a, 12, 20, 0x8d2a4c8au);

    MD5_STEP(H, a, b, c, d, 5, 4, 0xfffa3942u);
    MD5_STEP(H, d, a, b, c, 8, 11, 0x8771f681u);
    MD5_STEP(H, c, d, a, b, 11, 16, 0x6d9d6122u);
    MD5_STEP(H, b, c, d, a, 14, 23, 0xfde5380cu);
    MD5_STEP(H, a, b, c, d, 1, 4, 0xa4beea44u);
    MD5_STEP(H, d, a, b, c, 4, 11, 0x4bdecfa9u);
    MD5_STEP(H, c, d, a, b, 7, 16, 0xf6bb4b60u);
    MD5_STEP(H, b, c, d, a, 10, 23, 0xbebfbc70u);
    MD5_STEP(H, a, b, c, d, 13, 4, 0x289b7ec6u);
    MD5_STEP(H, d, a, b, c, 0, 11, 0xeaa127fau);
    MD5_STEP(H, c, d, a, b, 3, 16, 0xd4ef3085u);
    MD5_STEP(H, b, c, d, a, 6, 23, 0x04881d05u);
    MD5_STEP(H, a, b, c, d, 9, 4, 0xd9d4d039u);
    MD5_STEP(H, d, a, b, c, 12, 11, 0xe6db99e5u);
    MD5_STEP(H, c, d, a, b, 15, 16, 0x1fa27cf8u);
    MD5_STEP(H, b, c, d, a, 2, 23, 0xc4ac5665u);

    MD5_STEP(I, a, b, c, d, 0, 6, 0xf4292244u);
    MD5_STEP(I, d, a, b, c, 7, 10, 0x432aff97u);
    MD5_STEP(I, c, d, a, b, 14, 15, 0xab9423a7u);
    MD5_STEP(I, b, c, d, a, 5, 21, 0xfc93a039u);
    MD5_STEP(I, a, b, c, d, 12, 6, 0x655b59c3u);
    MD5_STEP(I, d, a, b, c, 3, 10, 0x8f0ccc92u);
    MD5_STEP(I, c, d, a, b, 10, 15, 0xffeff47du);
    MD5_STEP(I, b, c, d, a, 1, 21, 0x85845dd1u);
    MD5_STEP(I, a, b, c, d, 8, 6, 0x6fa87e4fu);
    MD5_STEP(I, d, a, b, c, 15, 10, 0xfe2ce6e0u);
    MD5_STEP(I, c, d, a, b, 6, 15, 0xa3014314u);
    MD5_STEP(I, b, c, d, a, 13, 21, 0x4e0811a1u);
    MD5_STEP(I, a, b, c, d, 4, 6, 0xf7537e82u);
    MD5_STEP(I, d, a, b, c, 11, 10, 0xbd3af235u);
    MD5_STEP(I, c, d, a, b, 2, 15, 0x2ad7d2bbu);
    MD5_STEP(I, b, c, d, a, 9, 21, 0xeb86d391u);

    a0 += a;
    b0 += b;
    c0 += c;
    d0 += d;
  }
  m_state[0] = a0;
  m_state[1] = b0;
  m_state[2] = c0;
  m_state[3] = d0;
}

#undef MD5_STEP
#undef MD5_STEP_G

void MD5::update(const void* bytes, std::size_t count) {
  if (m_finalized) {
    std::fputs("MD5::update:  Can't update a finalized digest!\n", stderr);
    return;
  }
  const auto* in = static_cast<const std::uint8_t*>(bytes);
  std::size_t used = static_cast<std::size_t>((m_bit_count >> 3) & 63);
  m_bit_count += static_cast<std::uint64_t>(count) << 3;
  if (used != 0) {
    const std::size_t room = 64 - used;
    if (count < room) {
      std::memcpy(m_block + used, in, count);
      return;
    }
    std::memcpy(m_block + used, in, room);
    Transform(m_block, 1);
    in += room;
    count -= room;
  }
  // Whole blocks straight from the caller's bytes.
  Transform(in, count / 64);
  in += count & ~std::size_t{63};
  count &= 63;
  if (count != 0) std::memcpy(m_block, in, count);
}

void MD5::finalize() {
  if (m_finalized) {
    std::fputs("MD5::finalize:  Already finalized this digest!\n", stderr);
    return;
  }
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(m_bit_count >> (8 * i));
  static const std::uint8_t PADDING[64] = {0x80};
  const std::size_t used = static_cast<std::size_t>((m_bit_count >> 3) & 63);
  update(PADDING, used < 56 ? 56 - used : 120 - used);
  update(length, 8);
  for (int i = 0; i < 4; ++i) Store32(m_digest + 4 * i, m_state[i]);
  m_finalized = true;
}

std::string MD5::hex_digest() const {
  if (!m_finalized) {
    std::fputs("MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n", stderr);
    return std::string();
  }
  static const char DIGITS[] = "0123456789abcdef";
  std::string text(32, '0');
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = DIGITS[m_digest[i] >> 4];
    text[2 * i + 1] = DIGITS[m_digest[i] & 15];
  }
  return text;
}
