#pragma once
// Result codes of the plot library (0 = success). Shared by the data model and the kernel.

namespace tolv {

enum PlotCode : int {
  kPlotOk = 0,
  kPlotDivZero = -190,           // a zero scale
  kPlotMissing = -1001,          // a required object (list, axis) is missing
  kPlotEmpty = -2230,            // the list is empty
  kPlotIndex = -2240,            // index out of range
  kPlotUnitOnTime = -2300,       // unit set on an axis whose range is not a plain number
  kPlotOutside = -2450,          // point outside the axis ranges
  kPlotZoomClamped = -2460,      // zoom rectangle clamped into the plot area (counts as success)
  kPlotZoomEmpty = -2470,        // zoom rectangle is empty
  kPlotNotFound = -2480,         // no point found after the search
  kPlotNoCandidate = -2490,      // no point qualifies for the search
  kPlotRangeKinds = -2520,       // minimum and maximum of a range have different kinds
  kPlotAxisKindChanged = -2530,  // the kind of an axis changed
};

}  // namespace tolv
