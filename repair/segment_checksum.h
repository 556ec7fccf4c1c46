// The segment checksum: a 32-bit CRC with the generator polynomial
// 0x04C11DB7, most significant bit first, initial value 0, no reflection and
// no final inversion, where a result of 0 is reported as 1. "123456789"
// gives 0x89A1897F, "abc" 0x2C17398C, and no bytes (or only zero bytes) 1.
// A checksum of 0 therefore never describes data: it stands for "unreadable
// here" in summaries and for "no data" in repair records.
#pragma once

#include <cstddef>
#include <cstdint>

// The raw CRC (0 allowed) of `bytes`, continuing from `previous` (0 to
// start): SegmentCrcUpdate(SegmentCrcUpdate(0, a), b) is the CRC of a + b.
std::uint32_t SegmentCrcUpdate(std::uint32_t previous, const void* bytes, std::size_t count);

// The checksum of one segment's bytes: the CRC with 0 turned into 1.
std::uint32_t ChecksumSegmentBytes(const void* bytes, std::size_t count);
