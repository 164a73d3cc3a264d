// libcurl behind HttpClient: the only file that talks to libcurl.
#include "base/http_client.h"

#include <curl/curl.h>

#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>

#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

constexpr long kBlockSize = 10240;
constexpr char kAgent[] = "Kestro 5.x";

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// What one transfer has seen so far. An answer counts as arrived once the headers of a final
// response (not one that is about to be followed as a redirect) are complete, or body bytes came.
struct Transfer {
  MemoryStream* body = nullptr;
  long status = 0;
  bool hasLocation = false;
  bool answered = false;
  const FetchOptions* options = nullptr;
  std::exception_ptr failure;  // ends the transfer; rethrown once libcurl has returned
};

bool IsSet(const std::atomic<bool>* flag) { return flag != nullptr && flag->load(); }

// Exceptions must not cross libcurl's C frames: a failure is kept and the transfer aborted by
// returning a short count.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->answered = true;
  const std::size_t bytes = size * count;
  try {
    const std::size_t limit = transfer->options->maxBodyBytes;
    if (limit != 0 && transfer->body->Size() + bytes > limit) throw Error(messages::kOutOfMemory);
    if (transfer->options->beforeBodyBlock) transfer->options->beforeBodyBlock(bytes);
    transfer->body->Append(data, bytes);
  } catch (const std::bad_alloc&) {
    transfer->failure = std::make_exception_ptr(Error(messages::kOutOfMemory));
    return 0;
  } catch (...) {
    transfer->failure = std::current_exception();
    return 0;
  }
  return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::string_view line(data, size * count);
  if (StartsWithNoCase(line, "http/")) {
    transfer->status = 0;
    transfer->hasLocation = false;
    std::size_t blank = line.find(' ');
    if (blank != std::string_view::npos) {
      std::sscanf(std::string(line.substr(blank + 1, 3)).c_str(), "%ld", &transfer->status);
    }
  } else if (StartsWithNoCase(line, "location:")) {
    transfer->hasLocation = true;
  } else if (line == "\r\n" || line == "\n") {
    const bool informational = transfer->status >= 100 && transfer->status < 200;
    const bool followed =
        transfer->status >= 300 && transfer->status < 400 && transfer->hasLocation;
    if (!informational && !followed) transfer->answered = true;
  }
  return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  return IsSet(transfer->options->cancelled) || IsSet(transfer->options->alsoCancelled) ? 1 : 0;
}

long WholeSecondsAtLeastOne(std::chrono::milliseconds span) {
  long seconds = static_cast<long>((span.count() + 999) / 1000);
  return seconds < 1 ? 1 : seconds;
}

}  // namespace

struct HttpClient::Handle {
  CURL* curl = nullptr;
  curl_slist* headers = nullptr;
  ~Handle() {
    if (curl != nullptr) curl_easy_cleanup(curl);
    if (headers != nullptr) curl_slist_free_all(headers);
  }
};

HttpClient::HttpClient(FetchOptions options) : options_(options) {}
HttpClient::~HttpClient() = default;

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

MemoryStream HttpClient::Get(const std::string& url) {
  InitialiseCurlOnce();
  if (!handle_) {
    auto handle = std::make_unique<Handle>();
    handle->curl = curl_easy_init();
    if (handle->curl == nullptr) throw Error(messages::kHttpUnavailable);
    handle->headers = curl_slist_append(handle->headers, "Cache-Control: no-cache");
    handle->headers = curl_slist_append(handle->headers, "Pragma: no-cache");
    handle_ = std::move(handle);
  }
  // libcurl would guess "http" for an address without a scheme; such an address (a picture
  // written relative to its page) cannot be opened.
  if (!HasWebScheme(url)) throw Error(messages::CannotOpenUrl(url));

  MemoryStream body;
  Transfer transfer;
  transfer.body = &body;
  transfer.options = &options_;

  CURL* curl = handle_->curl;
  // Reset drops the previous request's settings but keeps the connection cache (keep-alive).
  curl_easy_reset(curl);
  const std::string requestUrl = PercentEncodeUnsafeBytes(url);
  curl_easy_setopt(curl, CURLOPT_URL, requestUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, options_.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, handle_->headers);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBlockSize);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options_.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, WholeSecondsAtLeastOne(options_.stallTimeout));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  if (options_.cancelled != nullptr || options_.alsoCancelled != nullptr) {
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  }

  const CURLcode result = curl_easy_perform(curl);
  if (transfer.failure) std::rethrow_exception(transfer.failure);
  const bool cancelled = IsSet(options_.cancelled) || IsSet(options_.alsoCancelled);
  if (result != CURLE_OK && (!transfer.answered || cancelled)) {
    throw Error(messages::CannotOpenUrl(url));
  }
  body.Rewind();
  return body;
}

}  // namespace picsheet
