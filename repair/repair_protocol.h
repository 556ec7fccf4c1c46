// Constants of the repair protocol (docs/formats/repair-protocol.md) and
// the limits a client puts on what a server announces.
#pragma once

#include <cstdint>

#include "kit/compressed_stream.h"
#include "repair/segment_key.h"

constexpr std::uint32_t REPAIR_GREETING = 6;
constexpr std::uint16_t REPAIR_SERVER_PORT = 6000;

// The most a record may claim. A record beyond any of them fails the run
// (error 3) before its data is read, so a server cannot make the client
// allocate more than one segment and one compressed segment per slot.
//  - key length in UTF-16 code units: SUMMARY_MAX_KEY_LENGTH;
//  - segment index: files up to 256 GiB;
//  - plain data: one segment;
//  - compressed data: one segment compressed as one block of the
//    compressed stream (count, block header, zlib's bound for 4 MiB).
constexpr std::uint32_t REPAIR_MAX_SEGMENT_INDEX = (1u << 16) - 1;
constexpr std::uint32_t REPAIR_MAX_PLAIN_LENGTH = SEGMENT_SIZE;
constexpr std::uint32_t REPAIR_MAX_COMPRESSED_LENGTH =
    static_cast<std::uint32_t>(4 + 8 + BramUtilCompressedBound(SEGMENT_SIZE));
