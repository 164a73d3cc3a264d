#include "convert/picture_turn.h"

#include <array>
#include <cstddef>
#include <utility>

namespace picsheet {
namespace {

// Each value with its word, in the order the command line's help lists them.
template <typename Value, std::size_t kCount>
using Words = std::array<std::pair<Value, std::string_view>, kCount>;

constexpr Words<Orientation, 3> kOrientations{{{Orientation::kVertical, "vertical"},
                                               {Orientation::kHorizontal, "horizontal"},
                                               {Orientation::kNone, "none"}}};
constexpr Words<Turn, 2> kTurns{{{Turn::kClockwise, "cw"}, {Turn::kCounterClockwise, "ccw"}}};

template <typename Table>
std::vector<std::string> AllWords(const Table& table) {
  std::vector<std::string> words;
  for (const auto& [value, word] : table) words.emplace_back(word);
  return words;
}

template <typename Table, typename Value>
std::string_view WordOf(const Table& table, Value wanted) {
  for (const auto& [value, word] : table) {
    if (value == wanted) return word;
  }
  return {};
}

template <typename Table>
auto ValueOf(const Table& table, std::string_view wanted)
    -> std::optional<typename Table::value_type::first_type> {
  for (const auto& [value, word] : table) {
    if (word == wanted) return value;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> OrientationWords() { return AllWords(kOrientations); }
std::string_view OrientationWord(Orientation orientation) {
  return WordOf(kOrientations, orientation);
}
std::optional<Orientation> ParseOrientation(std::string_view word) {
  return ValueOf(kOrientations, word);
}

std::vector<std::string> TurnWords() { return AllWords(kTurns); }
std::string_view TurnWord(Turn turn) { return WordOf(kTurns, turn); }
std::optional<Turn> ParseTurn(std::string_view word) { return ValueOf(kTurns, word); }

}  // namespace picsheet
