// The 8-bit texts of a run as QString, through the base layer's Windows-1251 decoding.
#include "app/window/windows1251.h"

#include <string>

#include "base/windows1251.h"

namespace picsheet {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString TextFromWindows1251(std::string_view bytes) { return FromUtf8(DecodeWindows1251(bytes)); }

QString DecodeMessageText(std::string_view bytes) { return FromUtf8(Utf8OrWindows1251(bytes)); }

}  // namespace picsheet
