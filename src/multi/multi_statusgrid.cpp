#include "multi/multi_statusgrid.h"

#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <utility>

#include "common/regional.h"
#include "common/texttable.h"
#include "common/widgetcolours.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "multi/multi_busytexts.h"
#include "multi/multicollect.h"

namespace tolv {

TMultiStatusGrid::TMultiStatusGrid(QWidget* parent) : QTableWidget(0, 4, parent) {
  setObjectName(QStringLiteral("DG_"));
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // A title row only for the trigger column; the other cells say what they are.
  horizontalHeader()->setVisible(true);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setHighlightSections(false);
  for (int c = 0; c < 3; ++c) setColumnWidth(c, kColourColumnWidth);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  setFocusPolicy(Qt::NoFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVisible(false);
  applyTexts();
}

void TMultiStatusGrid::setRoom(const QStringList& serials) {
  if (serials == roomSerials_) return;
  roomSerials_ = serials;
  roomRows_ = int(serials.size());
  QSizePolicy keep = sizePolicy();
  keep.setRetainSizeWhenHidden(roomRows_ > 0);
  setSizePolicy(keep);
  fitSize();
}

void TMultiStatusGrid::applyTexts() {
  setHorizontalHeaderLabels({QString(), QString(), QString(), text(311)});
  horizontalHeaderItem(kDeltaColumn)->setToolTip(hintText(312));
  fitSize();
}

QString TMultiStatusGrid::deltaText(double seconds, QChar dec, int digits) {
  // No more decimals than the trigger moments were known to: a file that kept milliseconds
  // shows "+1 ms", not a "+1.000 ms" that claims microseconds.
  const int d = std::clamp(digits, 0, 6);
  QString s;
  // What rounds to nothing at that resolution is the same moment, without a sign.
  if (std::fabs(seconds) < 0.5 * std::pow(10.0, -d))
    s = QString::asprintf("%.*f ms", std::max(0, d - 3), 0.0);
  else if (std::fabs(seconds) < 1.0)
    s = QString::asprintf("%+.*f ms", std::max(0, d - 3), seconds * 1e3);
  else
    s = QString::asprintf("%+.*f s", std::min(d, 3), seconds);
  s.replace(QLatin1Char('.'), dec);
  return s;
}

namespace {

// Caption and hint ids of each reason a device gave no record.
std::pair<int, int> missTextIds(MultiMiss why) {
  switch (why) {
    case MultiMiss::NoTrigger:
      return {kTextMultiNoTrigger, kTextMultiNoTriggerHint};
    case MultiMiss::Stopped:
      return {kTextMultiStopped, kTextMultiStoppedHint};
    case MultiMiss::Transferring:
      return {kTextMultiTransferring, kTextMultiTransferringHint};
    case MultiMiss::NoRecord:
      break;
  }
  return {313, 314};
}

}  // namespace

QString TMultiStatusGrid::missCaption(MultiMiss why) {
  return text(missTextIds(why).first);
}

QString TMultiStatusGrid::missHint(MultiMiss why) {
  return hintText(missTextIds(why).second);
}

void TMultiStatusGrid::showRows(const std::vector<MultiStatusRow>& rows) {
  rows_ = rows.size();
  setRowCount(int(rows.size()));
  const QChar dec = regional().decimalSeparator();
  const QString busyHint =
      wrapHint(multiBusyHint(languageIndex())).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  int firstMissing = -1, firstBusy = -1;
  for (int r = 0; r < int(rows.size()); ++r) {
    const MultiStatusRow& s = rows[std::size_t(r)];
    auto* name = new QTableWidgetItem(s.serial);
    setItem(r, 0, name);
    // A record on its way after Break is news of this cycle: it says so in place of the
    // mark the row keeps from the cycle on screen.
    const bool marked = !s.owed && (s.missing || s.busy);
    const QString hint = s.missing ? missHint(s.why) : busyHint;
    paintGridCell(this, 0, r, marked ? ColorRef(kMissingColour) : kWhite);
    name->setForeground(Qt::black);
    name->setToolTip(marked ? hint : QString());
    for (int c = 1; c <= 2; ++c) {
      const ColorRef fill = s.filled ? (c == 1 ? s.colour1 : s.colour2) : kWhite;
      auto* it = new QTableWidgetItem(s.filled ? text(c == 1 ? 183 : 185) : QString());
      setItem(r, c, it);
      paintGridCell(this, c, r, fill);
    }
    auto* delta = new QTableWidgetItem;
    delta->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (marked) {
      delta->setText(s.missing ? missCaption(s.why) : multiBusyCaption(languageIndex()));
      delta->setToolTip(hint);
      QFont f = font();
      f.setBold(true);
      delta->setFont(f);
      setItem(r, kDeltaColumn, delta);
      paintGridCell(this, kDeltaColumn, r, ColorRef(kMissingColour));
      delta->setForeground(QColor(160, 0, 0));
      int& first = s.missing ? firstMissing : firstBusy;
      if (first < 0) first = r;
    } else if (s.owed) {
      // Break was pressed; this record is still on its way, and the cycle waits for it.
      delta->setText(missCaption(MultiMiss::Transferring));
      delta->setToolTip(missHint(MultiMiss::Transferring));
      delta->setTextAlignment(Qt::AlignCenter);
      delta->setForeground(Qt::gray);
      setItem(r, kDeltaColumn, delta);
      paintGridCell(this, kDeltaColumn, r, kWhite);
    } else {
      if (s.hasTriggerDelta) delta->setText(deltaText(s.triggerDelta, dec, s.deltaDigits));
      setItem(r, kDeltaColumn, delta);
      paintGridCell(this, kDeltaColumn, r, kWhite);
    }
  }
  fitSize();
  setVisible(!rows.empty());
  // A device that sent nothing is the row the user needs to see, else one left out.
  if (firstMissing < 0) firstMissing = firstBusy;
  if (firstMissing >= 0) scrollToItem(item(firstMissing, 0), QAbstractItemView::EnsureVisible);
}

void TMultiStatusGrid::fitSize() {
  // Serial numbers and the trigger column are wider than the 56 px of the colour columns.
  const QFontMetrics fm(font());
  resizeColumnToContents(0);
  int serialWidth = 0;
  for (const QString& s : roomSerials_) serialWidth = std::max(serialWidth, fm.horizontalAdvance(s));
  setColumnWidth(0, std::max({kColourColumnWidth, columnWidth(0), serialWidth + 12}));
  // The widest text a delta can take: three digits before the mark, with either sign.
  int deltaWidth = std::max({fm.horizontalAdvance(deltaText(0.999999, QLatin1Char(','))),
                             fm.horizontalAdvance(deltaText(-0.999999, QLatin1Char(','))),
                             fm.horizontalAdvance(multiBusyCaption(languageIndex())) + 4});
  // The marks are bold.
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics fmBold(bold);
  for (MultiMiss why : {MultiMiss::NoRecord, MultiMiss::NoTrigger, MultiMiss::Stopped,
                        MultiMiss::Transferring})
    deltaWidth = std::max(deltaWidth, fmBold.horizontalAdvance(missCaption(why)) + 4);
  deltaWidth = std::max(deltaWidth, horizontalHeader()->fontMetrics().horizontalAdvance(text(311)));
  setColumnWidth(kDeltaColumn, deltaWidth + 12);
  const int shown = std::clamp(std::max(int(rows_), roomRows_), 1, kVisibleRows);
  const int header = horizontalHeader()->sizeHint().height();
  const int frame = 2 * frameWidth();
  setFixedHeight(header + shown * kRowHeight + frame);
  int width = frame;
  for (int c = 0; c < columnCount(); ++c) width += columnWidth(c);
  if (std::max(int(rows_), roomRows_) > kVisibleRows)
    width += verticalScrollBar()->sizeHint().width();
  setFixedWidth(width);
}

}  // namespace tolv
