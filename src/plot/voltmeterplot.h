#pragma once
// TVoltmeterPlot: the horizontal bar scale of one voltmeter channel. It draws into its own
// image a scale for the channel's range and probe factor, a grey drag indicator spanning the
// values seen since the last reset, and a pointer at the current value. Widget-free, so the
// window shows the image and tests read its pixels.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

namespace tolv {

class TVoltmeterPlot {
 public:
  static constexpr int kFontPointSize = 8;
  static constexpr QRgb kMinorTickGrey = 0xFFE0E0E0;  // light grey of the minor ticks
  static constexpr QRgb kIndicatorGrey = 0xFFC8C8C8;  // the drag indicator's area

  // Pixel rows of the scale, from the image height and the text height.
  struct Geometry {
    int y1 = 0;  // scale bottom; the labels sit below it
    int y2 = 0;  // top of the labelled ticks
    int y3 = 0;  // bottom of the minor ticks, lower end of pointer and indicator
    int y4 = 0;  // top of the black part of the minor ticks
  };
  static Geometry geometryFor(int imageHeight, int textHeight);

  explicit TVoltmeterPlot(int width = 400, int height = 60);

  // Draws everything again in the new size.
  void resize(int width, int height);
  const QImage& image() const { return image_; }
  int textHeight() const { return textHeight_; }
  const Geometry& geometry() const { return geo_; }
  // Boxes of the scale labels drawn last, in the order drawn.
  const std::vector<QRect>& labelBoxes() const { return labelBoxes_; }

  // Mode index of the window: 0, 1 DC, 2, 3 RMS; any other value draws only a centred pointer.
  void setMode(int modeIndex);
  // Amplitude range of the channel (peak to peak); the scale spans half of it each way.
  void setRange(double amplitude);
  void setProbeFactor(double p);
  void setAuxDivider(double a);
  void setPenColour(const QColor& c) { pen_ = c; }
  // Clears the image, updates the indicator, draws it, the scale and the pointer at v.
  void showValue(double v);
  // Right click: forgets the values seen so far and draws the last value without them.
  void resetIndicator();

  // Runs pending window events between clearing and drawing, so a long burst of readings
  // cannot starve other windows. Without it nothing runs.
  void setEventPump(std::function<void()> pump) { pump_ = std::move(pump); }

  int mode() const { return mode_; }
  double range() const { return range_; }  // half the amplitude range
  double probeFactor() const { return probe_; }
  double auxDivider() const { return aux_; }
  double fullScale() const;  // S = R * P, with 0 replaced by 1
  bool indicatorValid() const { return valid_; }
  double indicatorMinimum() const { return min_; }
  double indicatorMaximum() const { return max_; }

  // Pixel column of a value, and the scale's minor and label steps.
  int xOf(double v) const;
  double minorStep() const;
  double labelStep() const;

 private:
  bool isDc() const { return mode_ == 0 || mode_ == 1; }
  bool isRms() const { return mode_ == 2 || mode_ == 3; }
  void clear();
  void invalidate() { valid_ = false; }
  void drawAll(double v, bool withPointer);
  void drawIndicator(QImage& img);
  void drawIndicatorMarks();
  void drawScale();
  void drawPointer(double v);
  void vline(int x, int yFrom, int yTo, QRgb colour);

  QImage image_;
  QFont font_;
  int textHeight_ = 0;
  Geometry geo_;
  std::vector<QRect> labelBoxes_;
  int mode_ = 0;
  double range_ = 1.0;
  double probe_ = 1.0;
  double aux_ = 1.0;
  QColor pen_ = Qt::blue;
  bool valid_ = false;
  double min_ = 0;
  double max_ = 0;
  bool hasValue_ = false;
  double last_ = 0;
  unsigned generation_ = 0;
  std::function<void()> pump_;
};

}  // namespace tolv
