#pragma once

// Small text helpers for the simulator (it links no Qt).

#include "SimState.h"

#include <optional>
#include <string>

namespace phonesim {

// Splits at runs of spaces, dropping empty words.
Words splitWords(const std::string &text);
std::string join(const Words &words, std::size_t from = 0);
bool startsWith(const std::string &text, const std::string &prefix);
// A decimal integer filling the whole text, if it is one.
std::optional<int> parseInt(const std::string &text);
// `text` padded with spaces on the right to `width` characters.
std::string padRight(std::string text, std::size_t width);

} // namespace phonesim
