#pragma once
// Random person and place names for fiction: random GB2312 characters after a
// surname from a fixed table, or before a place word.

#include "core/random.h"
#include "core/text.h"

#include <functional>

namespace talery {

// lo..hi from a fast-running counter; `tickRandom` unless a test replaces it.
using TickDraw = std::function<int(int lo, int hi)>;

// The 407 one-character surnames, 814 bytes; three occur twice and stay so.
const Text& surnameTable();

// `count` characters, each byte 256 - tick(38, 80), so 0xB0..0xDA: always a
// GB2312 Chinese character.
Text randomHanzi(int count, const TickDraw& tick = tickRandom);
// A surname: an odd 1-based byte position of the table from tick(1, 814).
Text randomSurname(const TickDraw& tick = tickRandom);
// A surname and one or two characters (how many: the shared generator).
Text randomPersonName(SharedRandom& shared, const TickDraw& tick = tickRandom);
// One to three characters (how many: the shared generator) and the place word.
Text randomPlaceName(SharedRandom& shared, const Text& placeWord, const TickDraw& tick = tickRandom);

}  // namespace talery
