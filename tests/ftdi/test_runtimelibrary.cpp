// Loading a driver library at run time, shown with the C maths library every machine has.
#include <gtest/gtest.h>

#include "ftdi/runtimelibrary.h"

namespace tolv {
namespace {

using CosFn = double (*)(double);
constexpr const char* kLibm = "libm.so.6";

TEST(RuntimeLibrary, BindsRequiredAndOptionalCalls) {
  TRuntimeLibrary lib;
  ASSERT_TRUE(lib.open(kLibm));
  CosFn cosFn = nullptr;
  CosFn absent = nullptr;
  lib.bind(cosFn, "cos");
  lib.bind(absent, "tolv_no_such_call", false);
  ASSERT_TRUE(lib.finish());
  EXPECT_TRUE(lib.isLoaded());
  EXPECT_EQ(lib.loadResult(), TRuntimeLibrary::LoadResult::Loaded);
  ASSERT_NE(cosFn, nullptr);
  EXPECT_DOUBLE_EQ(cosFn(0.0), 1.0);
  EXPECT_EQ(absent, nullptr);
}

TEST(RuntimeLibrary, AMissingCallRejectsTheLibraryAndNamesTheFirst) {
  TRuntimeLibrary lib;
  ASSERT_TRUE(lib.open(kLibm));
  CosFn a = nullptr;
  CosFn b = nullptr;
  CosFn c = nullptr;
  lib.bind(a, "tolv_first_missing");
  lib.bind(b, "cos");
  lib.bind(c, "tolv_second_missing");
  EXPECT_FALSE(lib.finish());
  EXPECT_FALSE(lib.isLoaded());
  EXPECT_EQ(lib.loadResult(), TRuntimeLibrary::LoadResult::MissingSymbol);
  EXPECT_EQ(lib.missingSymbol(), "tolv_first_missing");

  // Neither of two alternative names found counts as missing too.
  TRuntimeLibrary either;
  ASSERT_TRUE(either.open(kLibm));
  either.requireEither(false, "tolv_new_name");
  EXPECT_FALSE(either.finish());
  EXPECT_EQ(either.missingSymbol(), "tolv_new_name");
}

TEST(RuntimeLibrary, AnIncompleteFirstCandidateStaysTheReasonWhenTheNextIsAbsent) {
  TRuntimeLibrary lib;
  ASSERT_TRUE(lib.open(kLibm));
  CosFn a = nullptr;
  lib.bind(a, "tolv_missing");
  EXPECT_FALSE(lib.finish());
  EXPECT_FALSE(lib.open("/nonexistent/libtolv_none.so"));
  EXPECT_EQ(lib.loadResult(), TRuntimeLibrary::LoadResult::MissingSymbol);
  EXPECT_EQ(lib.missingSymbol(), "tolv_missing");

  TRuntimeLibrary none;
  EXPECT_FALSE(none.open("/nonexistent/libtolv_none.so"));
  EXPECT_FALSE(none.finish());
  EXPECT_EQ(none.loadResult(), TRuntimeLibrary::LoadResult::NotFound);
  EXPECT_FALSE(none.isLoaded());

  // A later complete candidate is taken after a rejected one.
  ASSERT_TRUE(lib.open(kLibm));
  lib.bind(a, "cos");
  EXPECT_TRUE(lib.finish());
  EXPECT_EQ(lib.loadResult(), TRuntimeLibrary::LoadResult::Loaded);
  EXPECT_TRUE(lib.missingSymbol().empty());
}

}  // namespace
}  // namespace tolv
