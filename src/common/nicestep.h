#pragma once
// Step rules shared by plot axes and scales: "nice" tick steps in decades of 1-2-5 and a
// table of calendar-friendly time steps. Every function keeps the sign of its argument.

namespace tolv {

// Largest power of ten <= |x| (searched from 1e38 downwards), with the sign of x; 0 for 0.
double decadeFloor(double x);
// Smallest power of ten >= |x| (searched from 1e-38 upwards), with the sign of x; 0 for 0.
double decadeCeil(double x);
// Next 2-5-10 step above 1.05 * |x|.
double niceStepUp(double x);
// Next 1-0.5-0.2-0.1-0.05 step below 0.9 * |x|.
double niceStepDown(double x);
// Step for a span of x seconds: niceStepUp below 2 s, else the table entry that follows x.
double niceTimeStep(double seconds);
// Number of entries in the time step table and the entry with 1-based index i (1..41).
int niceTimeStepCount();
double niceTimeStepEntry(int i);
// v rounded to the nearest multiple of step. A step of 0 is replaced by niceStepDown(1.01 * v);
// when v is 0 as well, both count as 1.
double roundToStep(double v, double step);
// The same for seconds of a time axis: a step of 0 becomes niceTimeStep(1.01 * s).
double roundSecondsToStep(double s, double step);
// A sample period close to 1, 2 or 5 times a decade from 1e-5 to 1 s, snapped onto that value
// (within 0.8..1.2, 1.8..2.2 and 4.8..5.5 of it, ends excluded); any other period unchanged.
// The logic analyser's time axis and files step by it.
double snapToDecadeStep(double period);

}  // namespace tolv
