// The first of the two steps that conclude a finished try: what it came to, decided from libcurl's
// code, the answer and the body's cut, without acting on it.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "base/error.h"
#include "base/memory_stream.h"
#include "web/transfer_task.h"

namespace picsheet::transfer {

// A finished try as libcurl left it; read on the engine's thread before the handle goes.
struct FinishedTry {
  int result = 0;  // libcurl's CURLcode
  AnswerInfo answer;
  long long retryAfterSeconds = 0;  // the server's Retry-After; 0 when none
  std::string reason;               // why libcurl ended it, in words
};

// Reads what the try's handle knows of its end.
FinishedTry ReadFinishedTry(const Task& task, int result);

// What a finished try came to.
struct Outcome {
  enum class Kind {
    kDeliver,    // the body, whole or cut after the answer arrived, goes to the listener
    kFail,       // error says why
    kRetry,      // ask again after wait
    kCurrent,    // 304 for the kept answer: its body is delivered
    kAskAfresh,  // the kept answer cannot serve: ask again at once without validators
  };
  Kind kind = Kind::kDeliver;
  std::optional<Error> error;
  std::chrono::milliseconds wait{};
};

// True when the answer arrived whole: nothing cut it, libcurl ended well.
bool IsWhole(const Task& task, const FinishedTry& done);

Outcome Classify(const Task& task, const FinishedTry& done);

}  // namespace picsheet::transfer
