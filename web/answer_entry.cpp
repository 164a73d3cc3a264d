// Encoding and decoding of the kept answers' file format.
#include "web/answer_entry.h"

#include <zlib.h>

namespace picsheet {
namespace {

constexpr std::string_view kMarker = "PSANSWR1";

void PutLittleEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint64_t GetLittleEndian(std::string_view in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return value;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes) {
  return static_cast<std::uint32_t>(
      ::crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

std::optional<std::string> EncodeEntryHead(const StoredAnswer& facts, std::string_view body) {
  std::string packed;
  for (const std::string* field :
       {&facts.url, &facts.finalUrl, &facts.etag, &facts.lastModified, &facts.contentType}) {
    if (field->size() > kMaxEntryFactsBytes) return std::nullopt;
    PutLittleEndian(packed, field->size(), 4);
    packed += *field;
  }
  if (packed.size() > kMaxEntryFactsBytes) return std::nullopt;

  std::string head(kMarker);
  PutLittleEndian(head, body.size(), 8);
  PutLittleEndian(head, Crc32(0, body), 4);
  PutLittleEndian(head, packed.size(), 4);
  PutLittleEndian(head, Crc32(0, packed), 4);
  PutLittleEndian(head, Crc32(0, head), 4);
  return head + packed;
}

std::optional<EntryPrefix> DecodeEntryPrefix(std::string_view bytes) {
  if (bytes.size() < kEntryPrefixBytes || bytes.substr(0, kMarker.size()) != kMarker ||
      GetLittleEndian(bytes, 28, 4) != Crc32(0, bytes.substr(0, 28))) {
    return std::nullopt;
  }
  EntryPrefix prefix;
  prefix.bodyBytes = GetLittleEndian(bytes, 8, 8);
  prefix.bodyCrc = static_cast<std::uint32_t>(GetLittleEndian(bytes, 16, 4));
  prefix.factsBytes = static_cast<std::uint32_t>(GetLittleEndian(bytes, 20, 4));
  prefix.factsCrc = static_cast<std::uint32_t>(GetLittleEndian(bytes, 24, 4));
  if (prefix.factsBytes > kMaxEntryFactsBytes) return std::nullopt;
  return prefix;
}

std::optional<StoredAnswer> DecodeEntryFacts(std::string_view bytes, std::uint32_t crc) {
  if (Crc32(0, bytes) != crc) return std::nullopt;
  StoredAnswer facts;
  std::size_t at = 0;
  for (std::string* field :
       {&facts.url, &facts.finalUrl, &facts.etag, &facts.lastModified, &facts.contentType}) {
    if (bytes.size() - at < 4) return std::nullopt;
    const std::uint64_t length = GetLittleEndian(bytes, at, 4);
    at += 4;
    if (bytes.size() - at < length) return std::nullopt;
    field->assign(bytes.substr(at, length));
    at += length;
  }
  if (at != bytes.size()) return std::nullopt;
  return facts;
}

}  // namespace picsheet
