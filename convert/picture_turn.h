// How pictures should stand and which way a mismatched one is turned: the two choices that both
// front ends offer, with the words the command line takes for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace picsheet {

// The values are the numbers the picture localiser and the picture queue work with.
enum class Orientation : std::int32_t { kNone = 0, kHorizontal = 1, kVertical = 2 };

// Degrees of the turn, clockwise positive.
enum class Turn : std::int32_t { kClockwise = 90, kCounterClockwise = -90 };

// The words, in the order the command line lists them: "vertical", "horizontal", "none".
std::vector<std::string> OrientationWords();
std::string_view OrientationWord(Orientation orientation);
// Nothing for a word that names no orientation.
std::optional<Orientation> ParseOrientation(std::string_view word);

// The words "cw" and "ccw", in that order.
std::vector<std::string> TurnWords();
std::string_view TurnWord(Turn turn);
// Nothing for a word that names no turn.
std::optional<Turn> ParseTurn(std::string_view word);

// The numbers the converter hands the picture localiser: 2, 1 or 0, and the angle in degrees.
constexpr std::int32_t OrientationCode(Orientation orientation) {
  return static_cast<std::int32_t>(orientation);
}
constexpr std::int32_t TurnAngle(Turn turn) { return static_cast<std::int32_t>(turn); }

}  // namespace picsheet
