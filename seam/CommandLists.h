#pragma once
// The command lines the template window composes, one list per protocol series; the send
// window reads them back.

#include <array>
#include <string>
#include <vector>

// One list of command lines per series: slot n holds the lines of series n, slot 0 none.
// Each line is one SMS text in code page 1251, possibly holding the placeholder "%PASS%".
using TCommandList = std::vector<std::string>;

class TCommandLists {
public:
  static constexpr int kSeriesCount = 5;
  TCommandList& operator[](int series) { return Lists.at(static_cast<size_t>(series)); }
  const TCommandList& operator[](int series) const { return Lists.at(static_cast<size_t>(series)); }
  // Clears the lines of every list.
  void Clear() {
    for (TCommandList& list : Lists) list.clear();
  }

private:
  std::array<TCommandList, kSeriesCount + 1> Lists;
};
