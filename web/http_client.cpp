// HttpClient: one transfer queued to an engine and waited for; the answer in words.
#include "web/http_client.h"

#include <algorithm>
#include <string_view>

#include "base/ascii.h"
#include "base/error.h"
#include "base/messages.h"
#include "web/transfer_engine.h"

namespace picsheet {

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

bool HasWebScheme(std::string_view url) {
  return StartsWithIgnoringCase(url, "http://") || StartsWithIgnoringCase(url, "https://");
}

std::string DescribeAnswer(const AnswerInfo& answer) {
  std::string text = "the server answered " + std::to_string(answer.status);
  if (!answer.reasonPhrase.empty()) text += " " + answer.reasonPhrase;
  // The media type alone: "text/html; charset=utf-8" says text/html.
  const std::string_view type =
      TrimmedOf(std::string_view(answer.contentType)
                    .substr(0, std::min(answer.contentType.find(';'), answer.contentType.size())),
                " \t");
  if (!type.empty()) text += " with " + std::string(type);
  return text;
}

}  // namespace picsheet
