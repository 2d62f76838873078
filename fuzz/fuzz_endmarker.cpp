// The end-marker detector over arbitrary chunks: the first byte sets the chunk length. Whatever
// the split, the answer must equal a byte-by-byte search of the whole stream.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "wire/wiremeasure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chunk = std::size_t(data[0] % 32) + 1;
  ++data;
  --size;
  tolv::EndMarkerDetector d;
  for (std::size_t pos = 0; pos < size; pos += chunk)
    d.feed(data + pos, std::min(chunk, size - pos));
  const auto* end = data + size;
  const bool found = std::search(data, end, tolv::kEndMarker.begin(), tolv::kEndMarker.end()) != end;
  if (d.seen() != found) std::abort();
  return 0;
}
