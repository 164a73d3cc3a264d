// An in-memory byte stream: the whole body of one HTTP answer, read from its position onwards.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace picsheet {

class MemoryStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

  void Append(const char* data, std::size_t size) { bytes_.append(data, size); }
  void Rewind() { position_ = 0; }

  std::size_t Size() const { return bytes_.size(); }
  std::size_t Position() const { return position_; }

  // The bytes from the current position to the end.
  std::string_view Remaining() const { return std::string_view(bytes_).substr(position_); }

  // Hands the remaining bytes out without a copy; the stream is left empty.
  std::string TakeRemaining() && {
    if (position_ != 0) bytes_.erase(0, position_);
    position_ = 0;
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

}  // namespace picsheet
