#include "state/nearest.h"

#include <algorithm>
#include <cctype>

namespace plc {

namespace {

char Folded(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Edits from a to b, letter case ignored, a swap of neighbours counting as
// one (the optimal string alignment distance).
size_t Typos(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const bool same = Folded(a[i - 1]) == Folded(b[j - 1]);
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && Folded(a[i - 1]) == Folded(b[j - 2]) &&
          Folded(a[i - 2]) == Folded(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::vector<std::string> NearestNames(const std::string& word,
                                      const std::vector<std::string>& names) {
  size_t best = word.size() <= 5 ? 1 : 2;
  std::vector<std::string> nearest;
  for (const std::string& name : names) {
    const size_t typos = Typos(word, name);
    if (typos > best) continue;
    if (typos < best) nearest.clear();
    best = typos;
    nearest.push_back(name);
  }
  return nearest;
}

std::string OneOf(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace plc
