// ParseByteSize: digits, then one of a closed list of binary units.
#include "base/byte_size.h"

#include <array>
#include <limits>
#include <string_view>

#include "base/ascii.h"
#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

struct Unit {
  std::string_view name;  // lower case
  unsigned shift;         // the multiple as a power of two
};

constexpr std::array<Unit, 8> kUnits{
    {{"", 0}, {"b", 0}, {"k", 10}, {"kib", 10}, {"m", 20}, {"mib", 20}, {"g", 30}, {"gib", 30}}};

}  // namespace

std::uint64_t ParseByteSize(const std::string& text) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::size_t i = 0;
  std::uint64_t number = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (number > (kMax - digit) / 10) overflow = true;
    number = number * 10 + digit;
  }
  if (i == 0 || overflow) throw Error(ErrorKind::kOther, messages::NotAByteSize(text));

  std::string unit;
  for (; i < text.size(); ++i) unit += AsciiLower(text[i]);
  for (const Unit& known : kUnits) {
    if (unit != known.name) continue;
    if (number > (kMax >> known.shift)) break;
    return number << known.shift;
  }
  throw Error(ErrorKind::kOther, messages::NotAByteSize(text));
}

}  // namespace picsheet
