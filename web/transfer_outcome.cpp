// Classifying a finished try: a cut body's error, a busy server's retry, a 304, a failure.
#include "web/transfer_outcome.h"

#include <curl/curl.h>

#include <limits>
#include <string_view>

#include "base/ascii.h"
#include "base/messages.h"
#include "web/http_status.h"
#include "web/transfer_receive.h"

namespace picsheet::transfer {
namespace {

std::string SizeText(std::size_t bytes) {
  const std::size_t mebibyte = std::size_t{1} << 20;
  if (bytes % mebibyte == 0) return std::to_string(bytes / mebibyte) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// The server's Retry-After in seconds; 0 when there is none. libcurl reads a number too large
// for its type as no wait at all, which is the opposite of what the server asked: such a number
// is a wait longer than any.
curl_off_t RetryAfterSeconds(CURL* curl) {
  curl_off_t seconds = 0;
  curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &seconds);
  struct curl_header* header = nullptr;
  if (seconds != 0 ||
      curl_easy_header(curl, "Retry-After", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
    return seconds;
  }
  const std::string_view value = TrimmedOf(header->value, " \t");
  const bool number = !value.empty() && value.find_first_not_of("0123456789") == value.npos;
  return number && value.find_first_not_of('0') != value.npos
             ? std::numeric_limits<curl_off_t>::max()
             : 0;
}

Outcome Failed(Error error) { return {Outcome::Kind::kFail, std::move(error), {}}; }

// The error of a body cut by a limit or a failure.
Error CutError(const Task& task) {
  const std::string& name = task.options.bodyName;
  switch (task.cut) {
    case BodyCut::kTooLarge:
      return Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
                   name + " is larger than the " + SizeText(task.options.maxBodyBytes) +
                       " a download may use");
    case BodyCut::kBomb:
      return Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
                   name + " unpacks to more than " + SizeText(kBombBytes) + ", over " +
                       std::to_string(kBombRatio) +
                       " times the bytes sent: refused as a decompression bomb");
    case BodyCut::kOutOfMemory:
      return Error(
          ErrorKind::kOutOfMemory, messages::kOutOfMemory,
          "no memory left for " + name + " after " + std::to_string(task.body.Size()) + " bytes");
    default:
      break;
  }
  try {
    std::rethrow_exception(task.failure);
  } catch (const Error& error) {
    return error;
  } catch (const std::exception& error) {
    return Error(ErrorKind::kOther, error.what());
  }
}

// An answer that arrived: delivered, unless the server is busy and says when to ask again.
Outcome OfAnswer(const Task& task, const FinishedTry& done) {
  if (task.triesLeft > 0 && IsBusyStatus(done.answer.status) &&
      done.retryAfterSeconds <= task.options.longestRetryAfter.count()) {
    // The server's own word on when to ask again, unless it asks for too long a wait.
    const std::chrono::milliseconds wait =
        done.retryAfterSeconds > 0
            ? std::chrono::milliseconds(std::chrono::seconds(done.retryAfterSeconds))
            : task.nextPause;
    return {Outcome::Kind::kRetry, std::nullopt, wait};
  }
  return {};
}

}  // namespace

FinishedTry ReadFinishedTry(const Task& task, int result) {
  CURL* curl = task.curl();
  FinishedTry done;
  done.result = result;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &done.answer.status);
  done.answer.reasonPhrase = ReasonPhrase(done.answer.status);
  char* text = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &text) == CURLE_OK && text != nullptr) {
    done.answer.contentType = text;
  }
  text = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &text) == CURLE_OK && text != nullptr) {
    done.answer.finalUrl = text;
  }
  done.retryAfterSeconds = RetryAfterSeconds(curl);
  done.reason = task.request->Reason(result);
  return done;
}

bool IsWhole(const Task& task, const FinishedTry& done) {
  return done.result == CURLE_OK && task.cut == BodyCut::kNone;
}

Outcome Classify(const Task& task, const FinishedTry& done) {
  if (task.cut != BodyCut::kNone && task.cut != BodyCut::kUseless) return Failed(CutError(task));
  if (IsWhole(task, done) && done.answer.status == 304 && task.kept) {
    // Still current; unless it came from elsewhere than the kept one did, after a redirect that
    // changed since.
    if (done.answer.finalUrl != task.kept->facts().finalUrl)
      return {Outcome::Kind::kAskAfresh, std::nullopt, {}};
    return {Outcome::Kind::kCurrent, std::nullopt, {}};
  }
  if (done.result == CURLE_OK || task.cut == BodyCut::kUseless) return OfAnswer(task, done);
  const auto result = static_cast<CURLcode>(done.result);
  const Error cannotOpen(ErrorKind::kFetch, messages::CannotOpenUrl(task.url), done.reason);
  if (!task.answered) {
    if (task.triesLeft > 0 && IsTransientFailure(result, task.anyByte)) {
      return {Outcome::Kind::kRetry, std::nullopt, task.nextPause};
    }
    return Failed(cannotOpen);
  }
  // Bytes still trickling in when the speed limit struck: an endless drip, not a stall. A body
  // that cannot be decoded is of no use in any part.
  const bool dripping = result == CURLE_OPERATION_TIMEDOUT &&
                        Clock::now() - task.lastBodyByte < task.options.stallTimeout;
  if (dripping || result == CURLE_BAD_CONTENT_ENCODING) return Failed(cannotOpen);
  // A failure after the answer arrived ends the body with the bytes so far.
  return {};
}

}  // namespace picsheet::transfer
