#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/Vistrel.h"
#include "platform/Containers.h"

namespace orvenna {

// One installed compressor as orvenna-cli numbers them. Positions count every installed
// compressor in the order the compression manager enumerates them, so that a position means
// the same compressor whatever the region and depth; `catalogue` is its position in the
// engine's catalogue for the region and depth asked for, -1 when it cannot take them.
struct InstalledCompressor {
  std::uint32_t fcc = 0;
  std::string code;         // four-character code
  std::string description;  // as the catalogue describes it
  int catalogue = -1;
};

// Every installed compressor, after `engine.GetCompressorList()` for the region. UI thread.
std::vector<InstalledCompressor> InstalledCompressors(VideoCompressionManager& codecs,
                                                      const TVistrel& engine);

// The engine's catalogue position of the compressor named by `wanted` (a position in
// `installed` or a four-character code); -1 with a one-line `error` naming the compressor
// when there is none or it cannot take the region. Empty `wanted`: the first catalogue entry
// whose pictures `container` carries (none: any kind), else the catalogue's first entry, which
// the kind of file then refuses by name; -1 (and no error) when the catalogue is empty.
int ChooseCompressor(const std::vector<InstalledCompressor>& installed, const std::string& wanted,
                     std::optional<Container> container, const std::string& regionText,
                     std::string& error);

// "CODE (description)" for the compressor with the code `fcc`, or the code alone.
std::string CompressorText(const std::vector<InstalledCompressor>& installed, std::uint32_t fcc);

}  // namespace orvenna
