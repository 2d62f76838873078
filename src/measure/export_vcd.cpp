#include "measure/export_vcd.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "common/version.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

constexpr int kOutputFailed = 5;
constexpr std::size_t kReadBytes = std::size_t(1) << 20;  // of a logger stream at a time

void appendU64(std::string& s, std::uint64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

std::string shortest(double v) {
  char buf[32];
  // Whole numbers (sample indexes, ticks) as digits: the shortest form of 100000 is "1e+05".
  const bool whole = std::fabs(v) < 1e15 && v == std::nearbyint(v);
  const auto r = whole ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                       : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

char laneId(int lane) {
  return char('!' + lane);
}

// A VCD identifier: letters, digits and underscores only.
std::string moduleName(const QString& serial) {
  std::string s;
  for (const QChar c : serial) {
    const char l = c.toLatin1();
    s += (std::isalnum(static_cast<unsigned char>(l)) || l == '_') ? l : '_';
  }
  return s.empty() ? std::string("tolvanex") : s;
}

// Texts of the stored record in a comment: a "$" there would let "$end" close it early.
std::string commentText(std::string s) {
  std::replace(s.begin(), s.end(), '$', '_');
  return s;
}

}  // namespace

std::string VcdTimescale::text() const {
  return std::to_string(factor) + ' ' + unit;
}

VcdTimescale vcdTimescaleOf(double sampleTime) {
  static constexpr struct {
    const char* unit;
    double seconds;
  } units[] = {{"s", 1}, {"ms", 1e-3}, {"us", 1e-6}, {"ns", 1e-9}, {"ps", 1e-12}, {"fs", 1e-15}};
  VcdTimescale t;
  if (!(std::isfinite(sampleTime) && sampleTime > 0)) return t;
  for (const auto& u : units) {
    for (int factor : {100, 10, 1}) {
      const double ratio = sampleTime / (u.seconds * factor);
      const double r = std::nearbyint(ratio);
      if (r >= 1 && std::fabs(ratio - r) <= std::min(1e-6 * r, 1e-3)) {
        t.factor = factor;
        t.unit = u.unit;
        t.ticks = std::int64_t(r);
        return t;
      }
    }
  }
  // No whole multiple of any timescale: the nearest femtosecond, or nanosecond for long steps.
  const bool fine = sampleTime < 1e-3;
  t.factor = 1;
  t.unit = fine ? "fs" : "ns";
  t.ticks = std::max<std::int64_t>(1, std::llround(sampleTime / (fine ? 1e-15 : 1e-9)));
  return t;
}

TVcdWriter::TVcdWriter(std::ostream& out, const PlainCsvHead& head)
    : out_(out), scale_(vcdTimescaleOf(head.sampleTime)), buf_(kBufferBytes, '\0') {
  std::string s;
  if (head.time) s += "$date\n\t" + isoTimeText(*head.time) + "\n$end\n";
  const VersionInfo& v = versionInfo();
  s += "$version\n\t" + v.productName.toStdString() + ' ' + v.fileVersion.toStdString() +
       "\n$end\n";
  s += "$comment\n\tserial " + commentText(head.serial.toStdString()) + ", mode " +
       commentText(modeCodeText(head.mode));
  s += ", sample time " + shortest(head.sampleTime) + " s";
  if (head.samples >= 0) s += ", " + std::to_string(head.samples) + " samples";
  s += ", " + std::to_string(scale_.ticks) + " ticks per sample\n$end\n";
  if (head.triggerSample) {
    const double ts = *head.triggerSample;
    s += "$comment\n\ttrigger at sample " + shortest(ts) + " (time #" +
         shortest(ts * double(scale_.ticks)) + ")";
    if (!head.trgTypString.empty()) s += ", type " + commentText(head.trgTypString);
    if (!head.pattern.empty()) s += ", pattern " + commentText(head.pattern);
    s += "\n$end\n";
  }
  s += "$timescale " + scale_.text() + " $end\n";
  s += "$scope module " + moduleName(head.serial) + " $end\n";
  for (int lane = 0; lane < kLanes; ++lane)
    s += std::string("$var wire 1 ") + laneId(lane) + " D" + std::to_string(lane) + " $end\n";
  s += "$upscope $end\n$enddefinitions $end\n";
  put(s);
}

void TVcdWriter::put(std::string_view text) {
  if (buf_.size() - used_ < text.size()) flush();
  if (buf_.size() < text.size()) {
    if (out_) out_.write(text.data(), std::streamsize(text.size()));
    return;
  }
  std::memcpy(buf_.data() + used_, text.data(), text.size());
  used_ += text.size();
}

void TVcdWriter::flush() {
  if (out_ && used_ > 0) out_.write(buf_.data(), std::streamsize(used_));
  used_ = 0;
}

void TVcdWriter::flushIfLarge() {
  if (used_ >= kPiece) flush();
}

// A time as VCD writes it, "#" and its decimal digits: nearly every sample of a busy record
// starts one, so only the last four digits are made each time.
char* TVcdWriter::putTime(char* p, std::uint64_t t) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  *p++ = '#';
  const std::uint64_t high = t / 10000;
  const unsigned low = unsigned(t % 10000);
  if (high == 0) return std::to_chars(p, p + 4, low).ptr;
  if (high != high_) {
    high_ = high;
    highLength_ =
        std::size_t(std::to_chars(highText_, highText_ + sizeof highText_, high).ptr - highText_);
  }
  std::memcpy(p, highText_, highLength_);
  p += highLength_;
  std::memcpy(p, kPairs + 2 * (low / 100), 2);
  std::memcpy(p + 2, kPairs + 2 * (low % 100), 2);
  return p + 4;
}

int TVcdWriter::add(std::span<const std::uint16_t> words) {
  const auto putLane = [](char* p, std::uint16_t w, int lane) {
    p[0] = (w >> lane) & 1 ? '1' : '0';
    p[1] = laneId(lane);
    p[2] = '\n';
    return p + 3;
  };
  const auto putText = [](char* p, std::string_view t) {
    std::memcpy(p, t.data(), t.size());
    return p + t.size();
  };
  const std::uint64_t ticks = std::uint64_t(scale_.ticks);
  std::size_t i = 0;
  while (i < words.size()) {
    const std::size_t batch = std::min(words.size() - i, kBatch);
    // Less than a piece is held, so the batch fits at its longest.
    char* p = buf_.data() + used_;
    for (const std::size_t end = i + batch; i < end; ++i) {
      const std::uint16_t w = words[i];
      if (n_ == 0) {
        p = putText(p, "#0\n$dumpvars\n");
        for (int lane = 0; lane < kLanes; ++lane) p = putLane(p, w, lane);
        p = putText(p, "$end\n");
      } else if (w != last_) {
        p = putTime(p, n_ * ticks);
        *p++ = '\n';
        // The changed lanes, lowest first.
        for (unsigned changed = unsigned(w ^ last_); changed != 0; changed &= changed - 1)
          p = putLane(p, w, std::countr_zero(changed));
      }
      last_ = w;
      ++n_;
    }
    used_ = std::size_t(p - buf_.data());
    flushIfLarge();
  }
  if (!out_) failed_ = true;
  return failed_ ? kOutputFailed : 0;
}

int TVcdWriter::finish() {
  // The end of the last sample, so the reader's record is as long as ours.
  std::string end = "#";
  appendU64(end, n_ * std::uint64_t(scale_.ticks));
  end += '\n';
  put(end);
  flush();
  out_.flush();
  if (!out_) failed_ = true;
  return failed_ ? kOutputFailed : 0;
}

int writeVcd(std::ostream& out, const PlainCsvHead& head, std::span<const std::uint16_t> words) {
  TVcdWriter w(out, head);
  const int rc = w.add(words);
  const int end = w.finish();
  return rc != 0 ? rc : end;
}

int writeVcdLoggerFile(std::ostream& out, const fs::path& streamFile, const QString& serial) {
  SettingsRecord header;
  DayTime start;
  if (const int rc = readLoggerStreamHeader(streamFile, header, start); rc != 0) return rc;
  if (header.mode != kModeDLDI) return kUnknownMode;
  LoggerStreamShape shape;
  if (const int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  std::ifstream in(streamFile, std::ios::binary);
  if (!in) return 5;
  TVcdWriter w(out, plainHeadOf(RecordInfo{serial, header, start}, std::int64_t(shape.samples)));
  std::vector<std::uint8_t> buf(kReadBytes);
  std::vector<std::uint16_t> words(kReadBytes / 4);
  const std::uint64_t step = words.size();
  for (std::uint64_t done = 0; done < shape.samples; done += step) {
    const std::uint64_t n = std::min(step, shape.samples - done);
    in.read(reinterpret_cast<char*>(buf.data()), std::streamsize(4 * n));
    if (in.gcount() != std::streamsize(4 * n)) return kDamagedFile;  // shrank meanwhile
    // The second word of every sample holds the lines.
    for (std::uint64_t k = 0; k < n; ++k)
      words[k] = std::uint16_t(buf[4 * k + 2] | (buf[4 * k + 3] << 8));
    if (const int rc = w.add(std::span(words.data(), std::size_t(n))); rc != 0) return rc;
  }
  return w.finish();
}

}  // namespace tolv
