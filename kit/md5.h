// MD5 message digest (RFC 1321); the text form is 32 lowercase hexadecimal
// digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class MD5 {
 public:
  // Ready for update().
  MD5();
  // Takes `file` (an open stdio stream; it is closed here), reads it to its
  // end and finalizes. When the stream is null or a read fails, the digest
  // is left unfinalized, so hex_digest() gives no text.
  explicit MD5(std::FILE* file);

  // Adds `count` bytes. On a finalized digest: writes "MD5::update:  Can't
  // update a finalized digest!" to standard error and changes nothing.
  void update(const void* bytes, std::size_t count);

  // Pads, appends the length and stores the digest. On a finalized digest:
  // writes "MD5::finalize:  Already finalized this digest!" to standard
  // error and changes nothing.
  void finalize();

  // The 32-digit lowercase text of a finalized digest. Not finalized: writes
  // "MD5::hex_digest:  Can't get digest if you haven't finalized the
  // digest!" to standard error and returns "".
  std::string hex_digest() const;

  bool is_finalized() const { return m_finalized; }

 private:
  void Transform(const std::uint8_t* blocks, std::size_t count);

  std::uint32_t m_state[4];
  std::uint64_t m_bit_count = 0;  // bits added so far, modulo 2^64
  std::uint8_t m_block[64];       // the partial block; m_bit_count/8 % 64 bytes used
  std::uint8_t m_digest[16] = {};
  bool m_finalized = false;
};
