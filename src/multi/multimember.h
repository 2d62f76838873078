#pragma once
// What the multi-device window needs of a device window. The window works against this small
// interface, so its collection cycle runs with real device windows and with fakes in tests.
#include <QString>
#include <cstdint>

#include "common/daytime.h"

class QObject;

namespace tolv {

// The announcement of a finished scope record (posted with message 1035).
struct MultiRecordNotice {
  std::int32_t n = 0;      // samples in the record
  std::int32_t m = 0;      // post-trigger samples: the first sample lies at -(n - m) x dt
  std::int32_t index = 0;  // active index of the sender
  double dt = 0;           // sample interval, s
  // The number of the sender's run command the record answers (see IMultiMember::runCount).
  std::uint32_t run = 0;
};

class IMultiMember {
 public:
  virtual ~IMultiMember() = default;
  virtual QString serial() const = 0;
  // Ties the device window to the multi-device window (handle, active index) or, with a null
  // handle, unties it. 0, or -1002 when a handle is expected but missing.
  virtual int setMultiLink(QObject* handle, int index) = 0;
  virtual void setActive(bool on) = 0;
  virtual bool active() const = 0;
  // Showing lets pending events run and brings the window to the front.
  virtual void setShown(bool on) = 0;
  virtual bool shown() const = 0;
  virtual void setSingleShot(bool on) = 0;
  // A run of the multi-device window has ended: the single-shot choice the device's own window
  // had before the run switched it on comes back.
  virtual void giveBackSingleShot() {}
  // On while the device is in a run of the multi-device window (or a cycle of it is open): its
  // own window starts nothing, since its run command would go into the cycle and its record be
  // kept as the window's own. Off again gives its RUN back.
  virtual void holdOwnRun(bool /*on*/) {}
  // Off: the device window does not draw its own oscillogram.
  virtual void setPlotSwitch(bool on) = 0;
  virtual void switchMode(const QString& modeCode) = 0;
  // Whether the device is in the scope mode and no other mode is asked for: a device left in
  // another mode by its own window gets a run command of that mode (a logger's stream that
  // never ends a cycle).
  virtual bool inScopeMode() const { return true; }
  // After switchMode("OSA0"): whether the switch was taken (the scope mode is asked for, or
  // the device is in it with nothing else asked). A window refuses a mode change while a run
  // of its own is going or queued.
  virtual bool scopeModeAsked() const { return inScopeMode(); }
  // Its own window keeps it in a run of another mode, going or queued: it refuses the switch
  // to the scope mode until that run is over.
  virtual bool ownRunOfOtherMode() const { return false; }
  // Starts one measurement. The run command goes out before this returns when the device is
  // free, and nothing else runs meanwhile, so the devices of a cycle start back to back; a
  // device still busy with an earlier run gets it once that run has ended.
  virtual void startMeasurement() = 0;
  // Stops the device; no run asked for before the stop goes out after it, and a record that
  // completes after it is not announced.
  virtual void stopMeasurement() = 0;
  // Run commands the device has been sent so far. A record announced with a run number above
  // the count read before startMeasurement answers that request; others are late.
  virtual std::uint32_t runCount() const = 0;
  // The record of the device's last run is on its way: its bytes are coming in, or in but not
  // yet announced.
  virtual bool recordComing() { return false; }
  // A record of the device's last run may still come: the run is in flight (waiting for its
  // trigger, which a stop turns into sending its memory, measuring, or its bytes coming) or
  // its record is being processed. Without a way to tell, it may.
  virtual bool mayStillDeliver() { return true; }
  // The device is gone from the bus (pulled out): whatever ends its cycle, it gave no record
  // because it is not there.
  virtual bool deviceLost() { return false; }
  // Times the device has gone from the bus so far: one pulled and plugged back within a cycle
  // is there again at its end, but its run and record went with the loss.
  virtual std::uint32_t lossCount() const { return 0; }
  virtual std::int32_t memoryDepth() const = 0;
  virtual double sampleInterval() const = 0;
  virtual DayTime recordTime() const = 0;
  virtual void showScopeControlsPage() = 0;
  // Published arrays in place: channel 1 = value x gain1 + offs1, channel 2 likewise.
  virtual void rescale(double offs1, double gain1, double offs2, double gain2) = 0;
  // The two published arrays (at least n entries of the last notice).
  virtual const double* channel1() const = 0;
  virtual const double* channel2() const = 0;
};

// The main frame's device windows as members, in the frame's order.
class IMultiMembers {
 public:
  virtual ~IMultiMembers() = default;
  virtual int count() const = 0;
  virtual IMultiMember* at(int i) = 0;  // nullptr outside the list
};

}  // namespace tolv
