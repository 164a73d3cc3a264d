// NumberValue and the caption builders on arbitrary texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int32_t value = picsheet::NumberValue(text);
  (void)picsheet::NumberLabelFromText(text);
  (void)picsheet::NumberLabelFromInt(value);
  return 0;
}
