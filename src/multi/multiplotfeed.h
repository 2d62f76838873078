#pragma once
// What the multi-device plot is fed from a read data file, and the header line on its picture:
// shared by the window's "load" and the program's picture output without a window.
#include <QFont>
#include <QImage>
#include <QString>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/daytime.h"
#include "multi/multifiles.h"
#include "plot/genkernel.h"

namespace tolv {

// The samples of one device channel, evenly spaced at X = t0 + k * dt: copied into the data
// set and drawn from their per-column envelope, on the pixels a point per sample would give.
// Fewer than two samples (no line to draw) stay points.
void setEvenCurve(TGenD2DataSet& ds, double t0, double dt, const double* values, int n);
// The samples of one device channel at their read times xs (shared by a device's channels),
// drawn from their per-column envelope on the pixels a point per sample would give. Times
// that go back or are no numbers, and fewer than two samples, stay linked points.
void setTimedCurve(TGenD2DataSet& ds, const std::shared_ptr<const std::vector<double>>& xs,
                   std::vector<double> values);
// Moves a curve along X by dx (the shift by trigger), its samples and its points.
void offsetCurveX(TGenD2DataSet& ds, double dx);

// Adds two curves per device of the read file ("<name> K1", "<name> K2") in the file's
// colours and units; a channel with a scale range gets two invisible points spanning it.
void feedMultiReading(TGenD2ImgKernel& k, const TREADing& r);

// The picture's header: the record time and the program's name.
QString multiHeaderText(const DayTime& stamp);
// Black on white, centred at the top edge, in the kernel's font.
void drawMultiHeader(QImage& image, const QFont& font, const QString& text);

// The trigger delta (loadedTriggerDeltas) of the device a curve "<serial> K1/K2" is of.
std::optional<double> readingCurveDelta(const std::vector<std::pair<QString, double>>& deltas,
                                        const QString& curveName);

// Feeds, sorts by name and renders into a picture of w x h with the header drawn; shifted:
// each device's curves moved by its trigger delta. Returns the kernel's code (0 when drawn).
int renderMultiReading(TGenD2ImgKernel& k, const TREADing& r, int w, int h,
                       bool shifted = false);

}  // namespace tolv
