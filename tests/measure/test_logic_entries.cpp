// Logic-analyser record files read entry by entry: what the list reader and the exports get.
#include <gtest/gtest.h>

#include "files_fixture.h"
#include "measure/intermediaterecords.h"

namespace tolv {
namespace {

using testfiles::FilesTest;
using testfiles::spit;

std::string entryBytes(std::int32_t number, std::uint16_t word) {
  const auto u = std::uint32_t(number);
  return {char(u), char(u >> 8), char(u >> 16), char(u >> 24), char(word & 0xFF), char(word >> 8), 0, 0};
}

class LogicEntries : public FilesTest {};

// Entries cross the reader's pieces in order; bytes of an entry cut off at the end, and entries
// beyond the largest record, are not read.
TEST_F(LogicEntries, EveryCompleteEntryInOrderUpToTheLargestRecord) {
  const int n = 4096 * 2 + 3;
  std::string bytes;
  for (int i = 0; i < n; ++i) bytes += entryBytes(i, std::uint16_t(i * 31));
  bytes += entryBytes(-1, 0).substr(0, 5);
  const fs::path file = dir_ / "Intermediate_LAIO_001.FIL";
  spit(file, bytes);
  std::size_t expected = 0;
  std::vector<std::pair<std::int32_t, std::uint16_t>> got;
  ASSERT_EQ(readLogicIntermediateEntries(
                file, [&](std::size_t c) { expected = c; },
                [&](std::span<const TLogAnalEntry> piece) {
                  for (const TLogAnalEntry& e : piece) got.emplace_back(e.sampleNumber, e.word);
                }),
            0);
  EXPECT_EQ(expected, std::size_t(n));
  ASSERT_EQ(got.size(), std::size_t(n));
  for (int i : {0, 4095, 4096, 8191, 8192, n - 1}) {
    EXPECT_EQ(got[std::size_t(i)].first, i);
    EXPECT_EQ(got[std::size_t(i)].second, std::uint16_t(i * 31));
  }
  TLogAnalList list;
  ASSERT_EQ(readLogicIntermediate(file, list), 0);
  ASSERT_EQ(list.count(), n);
  EXPECT_EQ(list.at(4096).word, std::uint16_t(4096 * 31));

  std::string big;
  for (int i = 0; i < 262003; ++i) big += entryBytes(i, 1);
  spit(file, big);
  ASSERT_EQ(readLogicIntermediate(file, list), 0);
  EXPECT_EQ(list.count(), 262001);
  // A missing file leaves the list as it was.
  EXPECT_EQ(readLogicIntermediate(dir_ / "none.FIL", list), 2);
  EXPECT_EQ(list.count(), 262001);
}

}  // namespace
}  // namespace tolv
