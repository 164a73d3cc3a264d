// HttpClient: one transfer queued to an engine and waited for; the answer in words.
#include "base/http_client.h"

#include <algorithm>
#include <string_view>

#include "base/error.h"
#include "base/messages.h"
#include "base/transfer_engine.h"

namespace picsheet {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

HttpClient::HttpClient(FetchOptions options, TransferEngine* engine)
    : options_(std::move(options)), engine_(engine) {}

HttpClient::~HttpClient() = default;

MemoryStream HttpClient::Get(const std::string& url) {
  // libcurl would guess "http" for an address without a scheme, and read local files for a
  // file: one; neither may come from a page.
  if (!HasWebScheme(url)) {
    throw Error(ErrorKind::kFetch, messages::CannotOpenUrl(url), messages::kNotAWebAddress);
  }
  if (engine_ == nullptr) {
    ownEngine_ = std::make_unique<TransferEngine>(1);
    engine_ = ownEngine_.get();
  }
  AwaitedTransfer transfer;
  engine_->Fetch(url, options_, transfer);
  FetchResult result = transfer.Wait();
  if (result.error) throw *result.error;
  return std::move(result.body);
}

bool HasWebScheme(const std::string& url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

std::string PercentEncodeUnsafeBytes(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    } else {
      encoded += static_cast<char>(c);
    }
  }
  return encoded;
}

std::string DescribeAnswer(const AnswerInfo& answer) {
  std::string text = "the server answered " + std::to_string(answer.status);
  if (!answer.reasonPhrase.empty()) text += " " + answer.reasonPhrase;
  // The media type alone: "text/html; charset=utf-8" says text/html.
  const std::string_view type =
      Trimmed(std::string_view(answer.contentType)
                  .substr(0, std::min(answer.contentType.find(';'), answer.contentType.size())));
  if (!type.empty()) text += " with " + std::string(type);
  return text;
}

}  // namespace picsheet
