// libcurl behind HttpClient: the only file that talks to libcurl.
#include "base/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>

#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

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

constexpr long kLowSpeedBytesPerSecond = 10;
// A Content-Length is a claim of the server's; memory is set aside for at most this much of it
// at once, the rest grows as bytes really arrive.
constexpr std::size_t kMaxReservation = 64u << 20;

// What one transfer has seen so far. An answer counts as arrived once the headers of a final
// response (not one that is about to be followed as a redirect) are complete, or body bytes came.
struct Transfer {
  CURL* curl = nullptr;
  MemoryStream* body = nullptr;
  AnswerInfo answer;  // of the latest status line
  bool hasLocation = false;
  bool answered = false;
  bool anyByte = false;  // a header line or body byte arrived
  bool reserved = false;
  bool tooLarge = false;
  bool outOfMemory = false;
  std::chrono::steady_clock::time_point lastBodyByte{};
  const FetchOptions* options = nullptr;
  std::exception_ptr failure;  // ends the transfer; rethrown once libcurl has returned
};

bool IsSet(const std::atomic<bool>* flag) { return flag != nullptr && flag->load(); }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// libcurl is C: an exception must not unwind through it, so failures are noted and the transfer
// aborted by returning a short count; Get turns them into errors once libcurl has returned.
// Returns what body returns, or 0 when it threw.
template <typename Body>
std::size_t Guarded(Transfer& transfer, const Body& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    transfer.outOfMemory = true;
  } catch (...) {
    transfer.failure = std::current_exception();
  }
  return 0;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  transfer->answered = true;
  transfer->anyByte = true;
  transfer->lastBodyByte = std::chrono::steady_clock::now();
  const std::size_t limit = transfer->options->maxBodyBytes;
  return Guarded(*transfer, [&]() -> std::size_t {
    if (!transfer->reserved) {
      transfer->reserved = true;
      curl_off_t length = -1;
      curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
      if (length > 0) {
        const auto claimed = static_cast<std::size_t>(length);
        if (limit != 0 && claimed > limit) {
          transfer->tooLarge = true;
          return 0;
        }
        transfer->body->Reserve(std::min(claimed, kMaxReservation));
      }
    }
    if (limit != 0 && transfer->body->Size() + bytes > limit) {
      transfer->tooLarge = true;
      return 0;
    }
    if (transfer->options->beforeBodyBlock) transfer->options->beforeBodyBlock(bytes);
    transfer->body->Append(data, bytes);
    return bytes;
  });
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->anyByte = true;
  const std::string_view line(data, size * count);
  return Guarded(*transfer, [&] {
    if (StartsWithNoCase(line, "http/")) {
      // "HTTP/1.1 404 Not Found": the code, then the words.
      transfer->answer = AnswerInfo{};
      transfer->hasLocation = false;
      const std::size_t blank = line.find(' ');
      if (blank != std::string_view::npos) {
        const std::string_view rest = line.substr(blank + 1);
        std::sscanf(std::string(rest.substr(0, 3)).c_str(), "%ld", &transfer->answer.status);
        if (rest.size() > 3) transfer->answer.reasonPhrase = Trimmed(rest.substr(3));
      }
    } else if (StartsWithNoCase(line, "location:")) {
      transfer->hasLocation = true;
    } else if (StartsWithNoCase(line, "content-type:")) {
      transfer->answer.contentType = Trimmed(line.substr(13));
    } else if (line == "\r\n" || line == "\n") {
      const long status = transfer->answer.status;
      const bool informational = status >= 100 && status < 200;
      const bool followed = status >= 300 && status < 400 && transfer->hasLocation;
      if (!informational && !followed) transfer->answered = true;
    }
    return line.size();
  });
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  return IsSet(transfer->options->cancelled) || IsSet(transfer->options->alsoCancelled) ? 1 : 0;
}

long WholeSecondsAtLeastOne(std::chrono::milliseconds span) {
  long seconds = static_cast<long>((span.count() + 999) / 1000);
  return seconds < 1 ? 1 : seconds;
}

// Certificates trusted for one process, looked up as curl's own tool does: CURL_CA_BUNDLE, else
// SSL_CERT_FILE and SSL_CERT_DIR; the system store otherwise.
void TrustCertificatesFromEnvironment(CURL* curl) {
  const auto value = [](const char* name) -> const char* {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? text : nullptr;
  };
  if (const char* bundle = value("CURL_CA_BUNDLE")) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    return;
  }
  if (const char* folder = value("SSL_CERT_DIR")) curl_easy_setopt(curl, CURLOPT_CAPATH, folder);
  if (const char* file = value("SSL_CERT_FILE")) curl_easy_setopt(curl, CURLOPT_CAINFO, file);
}

// Failures that say nothing about the address itself: the server was not there or dropped the
// connection before saying anything. Time-outs (they already waited), names that do not resolve
// and certificate failures are not among them.
bool IsTransient(CURLcode result, const Transfer& transfer) {
  if (result == CURLE_COULDNT_CONNECT) return true;
  const bool dropped =
      result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR || result == CURLE_GOT_NOTHING;
  return dropped && !transfer.anyByte;
}

bool IsTransientStatus(long status) { return status == 502 || status == 503 || status == 504; }

std::string MebibytesText(std::size_t bytes) {
  const std::size_t mebibyte = std::size_t{1} << 20;
  if (bytes % mebibyte == 0) return std::to_string(bytes / mebibyte) + " MiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

struct HttpClient::Handle {
  CURL* curl = nullptr;
  curl_slist* headers = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
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

MemoryStream HttpClient::Get(const std::string& url) {
  InitialiseCurlOnce();
  // libcurl would guess "http" for an address without a scheme; such an address (a picture
  // written relative to its page) cannot be opened.
  if (!HasWebScheme(url)) {
    throw Error(messages::CannotOpenUrl(url), "not an http:// or https:// address");
  }
  std::chrono::milliseconds pause = options_.retryPause;
  for (int attempt = 0;; ++attempt) {
    MemoryStream body;
    if (Attempt(url, body, attempt >= options_.retries) == Outcome::kDone) {
      body.Rewind();
      return body;
    }
    // A short, growing pause gives a restarting or overloaded server time; a cancelled run does
    // not wait for it.
    const auto until = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < until) {
      if (IsSet(options_.cancelled) || IsSet(options_.alsoCancelled)) {
        throw Error(messages::CannotOpenUrl(url));
      }
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          std::chrono::milliseconds(20), until - std::chrono::steady_clock::now()));
    }
    pause *= 2;
  }
}

HttpClient::Outcome HttpClient::Attempt(const std::string& url, MemoryStream& body, bool lastTry) {
  if (!handle_) {
    auto handle = std::make_unique<Handle>();
    handle->curl = curl_easy_init();
    if (handle->curl == nullptr) throw Error(messages::kHttpUnavailable);
    handle->headers = curl_slist_append(handle->headers, "Cache-Control: no-cache");
    handle->headers = curl_slist_append(handle->headers, "Pragma: no-cache");
    // Bodies that come compressed are decoded (see below); the request does not ask for that.
    handle->headers = curl_slist_append(handle->headers, "Accept-Encoding:");
    handle_ = std::move(handle);
  }

  Transfer transfer;
  transfer.body = &body;
  transfer.options = &options_;

  CURL* curl = handle_->curl;
  transfer.curl = curl;
  // Reset drops the previous request's settings but keeps the connection cache (keep-alive).
  curl_easy_reset(curl);
  handle_->errorText[0] = '\0';
  const std::string requestUrl = PercentEncodeUnsafeBytes(url);
  curl_easy_setopt(curl, CURLOPT_URL, requestUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, options_.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, handle_->headers);
  // Turns on decoding of gzip and deflate bodies, as browsers do also when they were not asked
  // for; the empty "Accept-Encoding:" header above keeps libcurl from announcing it.
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, handle_->errorText);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  TrustCertificatesFromEnvironment(curl);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options_.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
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
  char* effectiveUrl = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effectiveUrl) == CURLE_OK &&
      effectiveUrl != nullptr) {
    transfer.answer.finalUrl = effectiveUrl;
  }
  std::string reason(Trimmed(handle_->errorText));
  if (reason.empty()) reason = curl_easy_strerror(result);
  // libcurl 7.88 corrupts its heap when a handle that failed a transfer is reset and used again
  // with a changed receive buffer; a failed transfer's handle is therefore never reused. The
  // next GET makes a fresh one (only after failures, so keep-alive is kept for good runs).
  if (result != CURLE_OK) handle_.reset();

  if (transfer.tooLarge) {
    throw Error(messages::kOutOfMemory, "the answer is larger than the " +
                                            MebibytesText(options_.maxBodyBytes) +
                                            " a download may use");
  }
  if (transfer.outOfMemory) {
    throw Error(messages::kOutOfMemory,
                "no memory left for the answer after " + std::to_string(body.Size()) + " bytes");
  }
  if (transfer.failure) std::rethrow_exception(transfer.failure);
  if (IsSet(options_.cancelled) || IsSet(options_.alsoCancelled)) {
    throw Error(messages::CannotOpenUrl(url));
  }
  if (result == CURLE_OK) {
    if (!lastTry && IsTransientStatus(transfer.answer.status)) return Outcome::kTryAgain;
    body.SetAnswer(std::move(transfer.answer));
    return Outcome::kDone;
  }
  if (!transfer.answered) {
    if (!lastTry && IsTransient(result, transfer)) return Outcome::kTryAgain;
    throw Error(messages::CannotOpenUrl(url), reason);
  }
  // Bytes still trickling in when the speed limit struck: an endless drip, not a stall. A body
  // that cannot be decoded is of no use in any part.
  const bool dripping =
      result == CURLE_OPERATION_TIMEDOUT &&
      std::chrono::steady_clock::now() - transfer.lastBodyByte < options_.stallTimeout;
  if (dripping || result == CURLE_BAD_CONTENT_ENCODING) {
    throw Error(messages::CannotOpenUrl(url), reason);
  }
  // A failure after the answer arrived ends the body with the bytes so far.
  body.SetAnswer(std::move(transfer.answer));
  return Outcome::kDone;
}

}  // namespace picsheet
