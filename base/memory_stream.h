// An in-memory byte stream: the whole body of one HTTP answer, read from its position onwards.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace picsheet {

// What the server said about a body that came over HTTP: its final answer's status line and
// content type, so that a failure can tell the user what arrived instead of a picture, and the
// address it came from, against which the addresses a page holds are resolved.
struct AnswerInfo {
  long status = 0;           // 0 when the body did not come over HTTP
  std::string reasonPhrase;  // the status line's words, e.g. "Not Found"
  std::string contentType;   // the Content-Type header's value, empty when there was none
  std::string finalUrl;      // the address that answered, after redirects; empty when not HTTP
};

class MemoryStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

  void Append(const char* data, std::size_t size) { bytes_.append(data, size); }
  void Reserve(std::size_t size) { bytes_.reserve(size); }
  // Room for needed bytes in a stream that may not pass limit (0: none). Growing copies what is
  // kept, so for a while the stream takes twice its memory: doubling its room would let a stream
  // near its limit take twice the limit. Past a quarter of the limit the room grows to the limit
  // at once, so the peak stays within the limit itself.
  void MakeRoom(std::size_t needed, std::size_t limit) {
    const std::size_t room = bytes_.capacity();
    if (needed <= room) return;
    std::size_t grown = needed > 2 * room ? needed : 2 * room;
    if (limit != 0 && grown > limit / 2) grown = needed > limit ? needed : limit;
    ReserveExactly(grown);
  }
  void Rewind() { position_ = 0; }

  std::size_t Size() const { return bytes_.size(); }
  std::size_t Position() const { return position_; }

  // The bytes from the current position to the end.
  std::string_view Remaining() const { return std::string_view(bytes_).substr(position_); }

  const AnswerInfo& answer() const { return answer_; }
  void SetAnswer(AnswerInfo answer) { answer_ = std::move(answer); }

  // Hands the remaining bytes out without a copy; the stream is left empty.
  std::string TakeRemaining() && {
    if (position_ != 0) bytes_.erase(0, position_);
    position_ = 0;
    return std::move(bytes_);
  }

 private:
  // Room for exactly capacity bytes (a string's own growth at least doubles it), kept bytes
  // copied over; nothing happens when there is that much room already.
  void ReserveExactly(std::size_t capacity) {
    if (capacity <= bytes_.capacity()) return;
    std::string grown;
    grown.reserve(capacity);
    grown.append(bytes_);
    bytes_.swap(grown);
  }

  std::string bytes_;
  std::size_t position_ = 0;
  AnswerInfo answer_;
};

}  // namespace picsheet
