// The transfer's libcurl callbacks: body bytes against the limits and the budget, header lines.
#include "web/transfer_receive.h"

#include <curl/curl.h>

#include <algorithm>
#include <new>
#include <string_view>

#include "web/transfer_task.h"

namespace picsheet::transfer {
namespace {

// A Content-Length is a claim of the server's; memory is set aside for at most this much of it
// at once, the rest grows as bytes really arrive.
constexpr std::size_t kMaxReservation = 64u << 20;

// libcurl is C: an exception must not unwind through it, so failures are noted as the body's cut
// and the transfer aborted by returning a short count; the engine turns them into errors once
// libcurl returned.
template <typename Body>
std::size_t Guarded(Task& task, const Body& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    task.cut = BodyCut::kOutOfMemory;
  } catch (...) {
    task.cut = BodyCut::kFailure;
    task.failure = std::current_exception();
  }
  return 0;
}

// The cut for bytes more, or kNone when they may come.
BodyCut LimitFor(Task& task, std::size_t bytes) {
  const std::size_t limit = task.options.maxBodyBytes;
  if (!task.reserved) {
    task.reserved = true;
    curl_off_t length = -1;
    curl_easy_getinfo(task.curl(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length > 0) {
      const auto claimed = static_cast<std::size_t>(length);
      if (limit != 0 && claimed > limit) return BodyCut::kTooLarge;
      task.body.Reserve(std::min(claimed, kMaxReservation));
    }
  }
  // Decoded bytes count as they arrive, so a small compressed answer that inflates without end
  // stops at the limit, not when memory runs out.
  if (limit != 0 && task.body.Size() + bytes > limit) return BodyCut::kTooLarge;
  if (task.body.Size() + bytes > kBombBytes) {
    curl_off_t transferred = 0;
    curl_easy_getinfo(task.curl(), CURLINFO_SIZE_DOWNLOAD_T, &transferred);
    if (static_cast<curl_off_t>(task.body.Size() + bytes) > kBombRatio * transferred) {
      return BodyCut::kBomb;
    }
  }
  return BodyCut::kNone;
}

std::size_t OnBody(Task& task, const char* data, std::size_t bytes) {
  task.answered = true;
  task.anyByte = true;
  task.lastBodyByte = Clock::now();
  const std::size_t limit = task.options.maxBodyBytes;
  return Guarded(task, [&]() -> std::size_t {
    task.cut = LimitFor(task, bytes);
    if (task.cut != BodyCut::kNone) return 0;
    if (!task.books->Take(bytes)) {
      task.paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    std::size_t taken = 0;
    const std::string& start = task.options.expectedStart;
    if (!task.startChecked && !start.empty()) {
      // Keeps just the bytes that decide; the caller judges the body by them as it would by
      // the whole of it.
      taken = std::min(start.size() - task.body.Size(), bytes);
      task.body.MakeRoom(task.body.Size() + taken, limit);
      task.body.Append(data, taken);
      if (task.body.Size() < start.size()) return bytes;
      task.startChecked = true;
      if (task.body.Remaining() != start) {
        task.cut = BodyCut::kUseless;
        task.books->GiveBack(bytes - taken);
        return 0;
      }
    }
    task.body.MakeRoom(task.body.Size() + bytes - taken, limit);
    task.body.Append(data + taken, bytes - taken);
    return bytes;
  });
}

void OnHeaderLine(Task& task, std::string_view line) {
  task.anyByte = true;
  if (line != "\r\n" && line != "\n") return;
  // The end of one answer's headers: it is the final answer unless it is informational or a
  // redirect that is about to be followed.
  long status = 0;
  curl_easy_getinfo(task.curl(), CURLINFO_RESPONSE_CODE, &status);
  long version = 0;
  curl_easy_getinfo(task.curl(), CURLINFO_HTTP_VERSION, &version);
  if (version == CURL_HTTP_VERSION_2_0 || version == CURL_HTTP_VERSION_3) {
    task.host->multiplexed = true;
  }
  struct curl_header* location = nullptr;
  const bool redirect =
      status >= 300 && status < 400 &&
      curl_easy_header(task.curl(), "Location", 0, CURLH_HEADER, -1, &location) == CURLHE_OK;
  if ((status < 100 || status >= 200) && !redirect) task.answered = true;
}

std::size_t BodyBytes(char* data, std::size_t size, std::size_t count, void* user) {
  return OnBody(*static_cast<Task*>(user), data, size * count);
}

std::size_t HeaderBytes(char* data, std::size_t size, std::size_t count, void* user) {
  OnHeaderLine(*static_cast<Task*>(user), std::string_view(data, size * count));
  return size * count;
}

}  // namespace

CurlSinks SinksFor(void* task) { return CurlSinks{BodyBytes, HeaderBytes, task}; }

}  // namespace picsheet::transfer
