// The zoom keys as both windows offer them, checked on the kernel they act on.
#pragma once

#include <gtest/gtest.h>

#include "devicewin/plotshortcuts.h"
#include "plot/genkernel.h"

namespace tolv::test {

// Zoom in shows 0.8 of the X span, zoom out twice 1.25 of it, unzoom the full span again.
template <class Press>
void expectZoomKeys(TGenD2ImgKernel& k, Press press) {
  ASSERT_GT(k.DataSetCount(), 0);
  auto span = [&] {
    return k.Get(0)->mergedX->maximum.toNumber() - k.Get(0)->mergedX->minimum.toNumber();
  };
  const double full = span();
  press(PlotCommand::ZoomIn);
  EXPECT_NEAR(span(), full * 0.8, full * 1e-9);
  press(PlotCommand::ZoomOut);
  press(PlotCommand::ZoomOut);
  EXPECT_NEAR(span(), full * 1.25, full * 1e-9);
  press(PlotCommand::Unzoom);
  EXPECT_DOUBLE_EQ(span(), full);
}

}  // namespace tolv::test
