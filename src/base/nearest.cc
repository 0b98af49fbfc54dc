#include "base/nearest.h"

#include <algorithm>

namespace vantu::branding_package {

namespace {

// Edits from a to b, a swap of neighbours counting one.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> Nearest(std::string_view word, const std::vector<std::string>& known) {
  // Long words are no one's typo, and comparing them costs their square.
  if (word.size() > 64) return std::nullopt;
  std::optional<std::string> nearest;
  // Nearer than this: at most two edits, and a third of the word (one for a short word).
  std::size_t best = std::min<std::size_t>(2, std::max<std::size_t>(1, word.size() / 3)) + 1;
  for (const std::string& name : known) {
    const std::size_t distance = Distance(word, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

std::string DidYouMean(std::string_view word, const std::vector<std::string>& known) {
  auto nearest = Nearest(word, known);
  return nearest ? " (did you mean " + *nearest + "?)" : "";
}

}  // namespace vantu::branding_package
