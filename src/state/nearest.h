// Names as users type them: the known names nearest to a typo, for the
// "did you mean" hints of the command lines.
#pragma once

#include <string>
#include <vector>

namespace plc {

// The names nearest to word, letter case ignored, when they are a typo away
// (a letter missing, extra or wrong, or two neighbours swapped): one typo
// for a word of up to 5 letters, two for a longer one.  Empty when none is
// that near; every name at the nearest distance otherwise, in their order.
std::vector<std::string> NearestNames(const std::string& word,
                                      const std::vector<std::string>& names);

// "A", "A or B", "A, B or C".
std::string OneOf(const std::vector<std::string>& names);

}  // namespace plc
