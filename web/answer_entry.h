// The file format of one kept answer: a fixed prefix, the answer's facts, then its body.
//
// prefix (32 bytes, little-endian): "PSANSWR1", body length (u64), body CRC-32 (u32), facts
// length (u32), facts CRC-32 (u32), CRC-32 of the 28 bytes before it (u32); then the facts as five
// length-prefixed strings (u32 + bytes): address, final address, ETag, Last-Modified, content
// type; then the body. A file is whole exactly when its size is 32 + facts length + body length
// and all three checksums match.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace picsheet {

// What a kept answer holds besides its body.
struct StoredAnswer {
  std::string url;           // the address requested: the entry's key, compared on every lookup
  std::string finalUrl;      // the address the body came from after redirects
  std::string etag;          // the ETag header's value; empty when there was none
  std::string lastModified;  // the Last-Modified header's value; empty when there was none
  std::string contentType;   // the Content-Type header's value; empty when there was none
};

inline constexpr std::size_t kEntryPrefixBytes = 32;
// Facts longer than this mark a damaged file rather than an answer worth keeping.
inline constexpr std::uint32_t kMaxEntryFactsBytes = 1 << 20;

// The fixed prefix as read back.
struct EntryPrefix {
  std::uint64_t bodyBytes = 0;
  std::uint32_t bodyCrc = 0;
  std::uint32_t factsBytes = 0;
  std::uint32_t factsCrc = 0;
};

// CRC-32 (zlib's) of bytes, continued from crc; start with 0.
std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes);

// The prefix and facts that go before body in the file, or nullopt when the facts are longer
// than kMaxEntryFactsBytes.
std::optional<std::string> EncodeEntryHead(const StoredAnswer& facts, std::string_view body);

// The prefix of the first kEntryPrefixBytes bytes, or nullopt when they are not one (wrong
// marker, checksum mismatch, facts too long).
std::optional<EntryPrefix> DecodeEntryPrefix(std::string_view bytes);

// The facts of their bytes, or nullopt when the checksum does not match or they do not parse.
std::optional<StoredAnswer> DecodeEntryFacts(std::string_view bytes, std::uint32_t crc);

}  // namespace picsheet
