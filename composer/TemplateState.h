#pragma once
// The template window's command state, apart from its widgets: the protocol series the
// command is for and the command lines composed for each series.

#include "seam/CommandLists.h"

#include <cstdint>
#include <set>

// The protocol series (1 to 5) that the composed commands are for, in ascending order.
class TTargetVersions {
public:
  // A series already there is not added twice.
  void AddDeviceVersion(uint8_t series) { Series.insert(series); }
  bool HasDeviceVersion(uint8_t series) const { return Series.count(series) != 0; }
  // Whether any of the series 1 to 4 is targeted.
  bool HasLegacyVersion() const {
    for (uint8_t series = 1; series <= 4; ++series)
      if (HasDeviceVersion(series)) return true;
    return false;
  }
  void Clear() { Series.clear(); }
  bool Empty() const { return Series.empty(); }
  const std::set<uint8_t>& Items() const { return Series; }

private:
  std::set<uint8_t> Series;
};
