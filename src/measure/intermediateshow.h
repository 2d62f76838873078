#pragma once
// Showing stored intermediate files again (by name or by number), and erasing a family.
// Loads into the window's containers and asks the presenter to draw; no widgets here.
#include <array>
#include <filesystem>
#include <functional>

#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/measuredata.h"

namespace tolv {

// What became of showing a stored file: 0 or the code that kept it from being shown, whether
// the sheet already says so (no one need say it again), and what is wrong with a file drawn
// only as far as it goes (cut short, say).
struct ShowResult {
  int rc = 0;
  bool toldOnSheet = false;
  StoredContent content;
};

class TIntermediateShow {
 public:
  TIntermediateShow(TMeasureData& data, IMeasurePresenter& presenter);

  // While the program boots nothing is shown by number.
  void setBootingSource(std::function<bool()> f) { booting_ = std::move(f); }

  // Loads the file into the family's container and draws it. 0, 2 when the file (or, except
  // for the analog logger, its header) is missing, or the reader's code; on failure the
  // containers keep what they held.
  ShowResult showFile(IntermediateFamily f, const fs::path& file);
  // The stored file number k of the family; nothing happens (0) while the family is busy or
  // the program boots; 2 when the file does not exist.
  ShowResult showByNumber(IntermediateFamily f, int k);
  bool busy(IntermediateFamily f) const;

  // Deletes every numbered file of the family and its header, gaps or not; returns how many
  // files went. After any deletion the numbering restarts at 1.
  int eraseAll(IntermediateFamily f);

 private:
  int showVoltmeter(const fs::path& file);
  int showScope(const fs::path& file);
  int showLogic(const fs::path& file);
  int showIoLogger(const fs::path& file);

  TMeasureData& data_;
  IMeasurePresenter& presenter_;
  std::function<bool()> booting_;
  std::array<bool, kIntermediateFamilyCount> busy_{};
};

// Every "<family folder>_nnn.FIL" in the family's folder (any three digits), sorted.
std::vector<fs::path> numberedIntermediateFiles(const fs::path& deviceFolder, IntermediateFamily f);

}  // namespace tolv
