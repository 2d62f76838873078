#pragma once
// The device settings a user controls in a device window: the desired values (the block the
// next "*SWr" sends) against the values the device reported last, the setters with their
// ControlsEnabled and reply conditions, the debounce into one settings write, the application
// of a settings reply, mode selection and layout, the logger rules and the probe factors.
// Widget-free: the panels show display() and forward user actions to the handlers here.
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "device/decoding.h"
#include "device/devtimer.h"
#include "device/settingstables.h"
#include "wire/wiresettings.h"

namespace tolv {

class TAcquisition;
class TGpioModel;

// What the model needs from the acquisition cycle of its window.
class ISettingsHost {
 public:
  virtual ~ISettingsHost() = default;
  virtual int replyTag() const = 0;          // negative: no reply awaited
  virtual bool controlsEnabled() const = 0;  // cleared while a run is queued or measuring
  virtual bool runIdle() const { return controlsEnabled(); }  // no run queued or going
  // A run queued, not yet sent.
  virtual bool runWaiting() const { return false; }
  virtual ModeCode mode() const = 0;         // the window's mode, as confirmed by the device
  // The mode the user chose last; the selector shows it while the device still changes modes.
  virtual ModeCode requestedMode() const { return mode(); }
  virtual SettingsWriteBlock& desired() = 0;
  virtual const SettingsReply& reported() const = 0;
  virtual ConversionInputs& conversion() = 0;
  virtual ITimer& accumulateTimer() = 0;  // TM_AccumulateSettings; its expiry queues "*SWr"
  virtual void selectMode(ModeCode mode) = 0;
  virtual void queueIoCounter(std::uint32_t counter, std::int32_t count0IntervalMs,
                              std::int32_t count1IntervalMs) = 0;
  // The voltmeter displays follow range, probe factor and auxiliary divider.
  virtual void voltmeterRange(int /*ch*/, double /*range*/) {}
  virtual void voltmeterProbe(int /*ch*/, double /*probe*/) {}
  virtual void voltmeterAux(double /*aux*/) {}
};

// The host over the window's acquisition cycle and its settings-write timer.
class TAcquisitionSettingsHost : public ISettingsHost {
 public:
  TAcquisitionSettingsHost(TAcquisition& acq, ITimer& accumulate) : acq_(acq), acc_(accumulate) {}
  int replyTag() const override;
  bool controlsEnabled() const override;
  bool runIdle() const override;
  bool runWaiting() const override;
  ModeCode mode() const override;
  ModeCode requestedMode() const override;
  SettingsWriteBlock& desired() override;
  const SettingsReply& reported() const override;
  ConversionInputs& conversion() override;
  ITimer& accumulateTimer() override { return acc_; }
  void selectMode(ModeCode mode) override;
  void queueIoCounter(std::uint32_t counter, std::int32_t i0, std::int32_t i1) override;
  // Optional voltmeter-display hooks.
  std::function<void(int, double)> onVoltmeterRange, onVoltmeterProbe;
  std::function<void(double)> onVoltmeterAux;
  void voltmeterRange(int ch, double v) override {
    if (onVoltmeterRange) onVoltmeterRange(ch, v);
  }
  void voltmeterProbe(int ch, double v) override {
    if (onVoltmeterProbe) onVoltmeterProbe(ch, v);
  }
  void voltmeterAux(double a) override {
    if (onVoltmeterAux) onVoltmeterAux(a);
  }

 private:
  TAcquisition& acq_;
  ITimer& acc_;
};

// A Yes/No question to the user (the logger sample-time warning); true for Yes. Replaceable,
// so tests answer without a dialog.
class IQuestionSink {
 public:
  virtual ~IQuestionSink() = default;
  virtual bool askYesNo(const QString& text) = 0;
};

// The model's own timers; the window owns them.
struct SettingsTimers {
  ITimer& noZeroProbe;         // TM_NoZero_TeilerFaktor, 250 ms
  ITimer& forceManualTrigger;  // TM_ForceManualTriggering, 333 ms
  ITimer& forcedSampleTime;    // TM_ForcedSamplTim, 250 ms
};

// What changed, so each panel redraws only what concerns it.
enum class SettingsTopic {
  Amplitude,
  Offset,
  SampleTime,
  MemoryDepth,
  TriggerPoint,
  TriggerWord,
  TriggerType,
  Levels,
  Probe,
  Aux,
  Panels,  // the read-only text panels of a settings reply
  Mode,    // PN_Mode / CB_Modes
  Layout,  // mode layout after the device confirmed a mode
  ControlsEnabled,
  Gpio,
  Counter,
};

// What the settings controls show.
struct SettingsDisplay {
  std::array<int, 2> amplPos{kAmplitudeStartPos, kAmplitudeStartPos};  // TB_AmplC0/1
  std::array<int, 2> offsPos{0, 0};                                    // SB_OffsC0/1
  int samplTimPos = 0;                                                 // TB_SamplTim
  int memDepthPos = 0;                                                 // TB_MemoryDepth
  int trgPointPos = kTriggerPointStart;                                // TB_TriggerPoint
  int trgChan = 1;                                                     // SE_TrgChan
  TriggerWord trigger;                 // the word the pattern panels show
  int trgTypRow = -1;                  // selected row of VLE_TrgTyp_LUT, -1 none
  std::array<int, 2> levelPos{0, 0};   // SB_TrgLevelUpper, SB_TrgLevelLower
  std::array<int, 2> probeSpin{1, 1};  // SE_TF_C0/1 as shown (0 until replaced)
  bool aux = true;                     // CB_0_85
  bool patternRowsVisible = false;     // logic-analyser pattern rows (in LAIO)
  // Text panels.
  std::array<QString, 2> ak, offs, npkt;
  QString samplTim, samplFreq, samples, totTim, prePosTrig, trgTyp, trgTypLogAnal;
  std::array<QString, 2> level;  // PN_TrgLevelUpper, PN_TrgLevelLower
  ModeCode modeShown = 0;        // PN_Mode and CB_Modes
};

class TSettingsModel : public QObject {
  Q_OBJECT
 public:
  static constexpr int kNoZeroMs = 250;
  static constexpr int kForceManualMs = 333;
  static constexpr int kForcedSampleTimeMs = 250;
  static constexpr int kSliderScale = 4096;

  TSettingsModel(ISettingsHost& host, SettingsTimers timers, IQuestionSink* question = nullptr);

  void setQuestionSink(IQuestionSink* q) { question_ = q; }
  // Emits changed(a); the panels listen through Qt connections, which end with either side.
  void notify(SettingsTopic a) { emit changed(a); }

  // --- Setters: nothing while ControlsEnabled is clear; restart the debounce unless a reply
  // is awaited; bring the display to the value ---------------------------------------------
  void setAmplitude(int ch, double volts);
  void setOffset(int ch, double volts);
  void setSampleTime(double seconds);
  void setMemoryDepth(double samples);
  void setTriggerPoint(double percent);
  void setTriggerWord(TriggerWord w);
  void setTriggerType(char letter);
  void setLevel(int which, double volts);  // 0 upper, 1 lower
  void setProbeFactor(int ch, double p);   // no settings write
  void setAuxDivider(bool on);             // no settings write
  void selectMode(ModeCode mode);

  // --- User controls ----------------------------------------------------------------------
  void amplitudeTrackbarMoved(int ch, int pos);
  void amplitudeRowClicked(double volts);  // both channels
  void sampleTimeTrackbarMoved(int pos);
  void sampleTimeRowClicked(double microseconds);
  void memoryDepthTrackbarMoved(int pos);
  void memoryDepthRowClicked(double samples);
  void triggerPointMoved(int pos);
  void offsetSliderMoved(int ch, int pos);
  void levelSliderMoved(int which, int pos);
  void triggerChannelChanged(int value);  // SE_TrgChan, 1 .. 2
  void triggerTypeChosen(char letter);    // either combo or the table
  void modeChosen(int index);             // CB_Modes / VLE_Mode_LUT row, 0 .. 7
  void probeSpinChanged(int ch, int value);
  void auxBoxChanged(bool ticked);

  // --- From the acquisition cycle --------------------------------------------------------
  // Field by field in the reply's order; the setters act only while the controls are enabled.
  void applyReply(const SettingsReply& r);
  void controlsEnabledChanged();
  void modeRequested(ModeCode mode);  // PN_Mode and CB_Modes show the chosen mode
  void modeConfirmed(ModeCode mode);  // the device reported it: apply the layout
  void setMultiRegistered(bool on) { multiRegistered_ = on; }
  void clearForcedSampleTimeFlag() { forcedSampleTimeFlag_ = false; }
  // A loaded settings file, or a device back with its power-on settings after a reconnect: a
  // trigger type remembered from before is no longer the one to bring back.
  void forgetDisplacedTrigger();

  // --- Timer handlers (each first stops its own timer) -------------------------------------
  void onNoZeroProbeTimer();
  void onForceManualTriggerTimer();
  void onForcedSampleTimeTimer();

  // --- State ----------------------------------------------------------------------------------
  const SettingsDisplay& display() const { return d_; }
  const ModeLayout& layout() const { return layout_; }
  ModeCode layoutMode() const { return layoutMode_; }
  bool controlsEnabled() const { return host_.controlsEnabled(); }
  // The setters act while the controls are enabled and while a settings reply is applied.
  bool settersOpen() const { return applyingReply_ || controlsEnabled(); }
  bool replyAwaited() const { return host_.replyTag() >= 0; }
  // In the scope and the logic analyser; during a run greyed with the timebase group like the
  // other settings, rather than hidden, so the depth in force stays readable and nothing moves.
  bool memoryDepthShown() const { return memoryDepthControlsShown(true, host_.mode()); }
  double totalTime() const { return totalTime_; }
  bool forcedSampleTimeFlag() const { return forcedSampleTimeFlag_; }
  ISettingsHost& host() { return host_; }
  TGpioModel* gpio() const { return gpio_; }
  // The GPIO model attaches itself so a reply reaches its setters last.
  void attachGpio(TGpioModel* g) { gpio_ = g; }

 signals:
  void changed(tolv::SettingsTopic topic);

 private:
  void restartWrite();
  // The settings write waits its accumulation time again, whatever is awaited.
  void writeAfresh();
  int sliderPos(double volts, double range) const;
  double reportedRange(int ch) const;

  ISettingsHost& host_;
  SettingsTimers t_;
  IQuestionSink* question_ = nullptr;
  TGpioModel* gpio_ = nullptr;
  SettingsDisplay d_;
  // Until the device confirms a mode the groups show as for the scope, the start-up mode.
  ModeLayout layout_ = modeLayout(kModeOSA0);
  ModeCode layoutMode_ = 0;
  double totalTime_ = 0;
  bool forcedSampleTimeFlag_ = false;
  bool multiRegistered_ = false;
  // The logger modes force their own trigger type and a sample time of their own: across the
  // boundary between the loggers and the other modes each side keeps its sample time and
  // trigger type, and gets them back with the first settings reply in one of its modes. Index
  // 0: the other modes, 1: the loggers.
  struct KeptTimebase {
    bool valid = false;
    float sampleTime = 0;
    char triggerType = 0;
  };
  std::array<KeptTimebase, 2> kept_{};
  bool restorePending_ = false;
  // The settings of the reply before: a desired value that differs waits for its write.
  std::optional<SettingsWriteBlock> replied_;
  void keepAcrossLoggerBoundary(ModeCode before, ModeCode now);
  // The kept values of the mode's side (the trigger type as the mode offers it) in place of
  // the given ones; false when that side has none. Ends the pending restore.
  bool keptFor(ModeCode mode, float& sampleTime, std::uint32_t& triggerType);
  // The trigger type a mode with a trigger table did not offer (the scope's edge type in the
  // logic analyser, the pattern in the scope) and the type that replaced it: going back to a
  // mode that offers it brings it back, unless the user has chosen a type meanwhile.
  struct DisplacedTrigger {
    char type = 0;
    char by = 0;
  };
  DisplacedTrigger displaced_;
  static bool hasTriggerTable(ModeCode mode);
  bool displacedComesBack(ModeCode mode) const;
  bool inTriggerType_ = false;  // re-entry mark of VLE_TrgTyp_LUT
  bool applyingReply_ = false;
  // Sets the mark for the lifetime of the scope.
  struct TReplyScope {
    explicit TReplyScope(bool& b) : b_(b) { b_ = true; }
    ~TReplyScope() { b_ = false; }
    TReplyScope(const TReplyScope&) = delete;
    TReplyScope& operator=(const TReplyScope&) = delete;
    bool& b_;
  };
};

}  // namespace tolv
