#pragma once
// Scrambled source files: a source handed out so that it runs but cannot be read.
//
// Format, 32-bit little-endian words: magic 0x115EEED2, version 1, length of the plain
// text in bytes, a reserved 0, the seed, then the plain text as words (the last one
// padded with zero bytes), each XORed with the next output of a generator seeded from
// the seed. A text of n bytes gives 5 + ceil(n / 4) words.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Karsto {

// At least 8 bytes, a multiple of 4 long, and beginning with the magic bytes D2 EE 5E 11.
bool isScrambledSource(std::string_view content);

// Scrambles with a fresh seed from the platform's non-deterministic random source, so
// scrambling the same text twice gives two different files.
std::string scrambleSource(std::string_view plain);
// The same with a given seed; writer and reader agree on everything else.
std::string scrambleSource(std::string_view plain, uint32_t seed);

// The plain text of a scrambled content; any other content is returned unchanged.
// Another version than 1, or fewer than five words, reads as an empty text. The
// header's length decides the result: a longer body is cut, a shorter one extended
// with zero bytes.
std::string unscrambleSource(std::string_view content);
// The length of the text unscrambleSource gives for a content, known from the header
// alone: readers can refuse a length they cannot hold before anything is allocated.
size_t unscrambledLength(std::string_view content);
// Whether the body's words hold at least the text length the header claims, as in every
// file scrambleSource writes. A longer claim marks a corrupt or forged file: readers
// refuse it instead of extending a few bytes to gigabytes of zeros.
bool scrambledBodyHoldsText(std::string_view content);

} // namespace Karsto
