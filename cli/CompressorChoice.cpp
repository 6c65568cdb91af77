#include "cli/CompressorChoice.h"

#include <algorithm>
#include <cctype>

#include "engine/Utf16.h"

namespace orvenna {
namespace {

std::string CodeWithoutSpaces(const std::string& code) {
  std::string bare = code.substr(0, code.find_last_not_of(' ') + 1);
  std::transform(bare.begin(), bare.end(), bare.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return bare;
}

bool SameCode(const std::string& listed, const std::string& wanted) {
  return !wanted.empty() && CodeWithoutSpaces(listed) == CodeWithoutSpaces(wanted);
}

}  // namespace

std::vector<InstalledCompressor> InstalledCompressors(VideoCompressionManager& codecs,
                                                      const TVistrel& engine) {
  std::vector<InstalledCompressor> installed;
  ICINFO entry;
  for (int index = 0; index < TVistrel::CatalogueSize && codecs.Info(ICTYPE_VIDEO, index, entry);
       ++index) {
    InstalledCompressor compressor;
    compressor.fcc = entry.fccHandler;
    compressor.code = FourCCText(entry.fccHandler);
    for (int i = 0; i < engine.CompressorCount(); ++i) {
      if (engine.CompressorTable()[i].fccHandler == entry.fccHandler) compressor.catalogue = i;
    }
    // The catalogue's entry has the compressor's own description; the others are asked.
    if (compressor.catalogue >= 0) {
      entry = engine.CompressorTable()[compressor.catalogue];
    } else if (const auto opened = codecs.Open(entry.fccType, entry.fccHandler, ICMODE_QUERY)) {
      entry = opened->GetInfo();
    }
    compressor.description = Utf16FieldToUtf8(entry.szDescription, 128);
    installed.push_back(std::move(compressor));
  }
  return installed;
}

int ChooseCompressor(const std::vector<InstalledCompressor>& installed, const std::string& wanted,
                     std::optional<Container> container, const std::string& regionText,
                     std::string& error) {
  const InstalledCompressor* chosen = nullptr;
  if (wanted.empty()) {
    int first = -1;
    for (const InstalledCompressor& compressor : installed) {
      if (compressor.catalogue < 0) continue;
      if (!container || ContainerCarries(*container, compressor.fcc)) return compressor.catalogue;
      if (first < 0) first = compressor.catalogue;
    }
    // The kind of file carries none of those that take the region: the first of them, which the
    // kind then refuses by name; -1 when none takes it (the engine offers its default).
    return first;
  }
  if (wanted.find_first_not_of("0123456789") == std::string::npos && wanted.size() < 4) {
    const std::size_t position = std::stoul(wanted);
    if (position >= installed.size()) {
      error = "there is no compressor " + wanted +
              (installed.empty() ? std::string(" (no compressor is installed)")
                                 : " (positions are 0 to " + std::to_string(installed.size() - 1) +
                                       "; see --list-compressors)");
      return -1;
    }
    chosen = &installed[position];
  } else {
    // Codes are listed as four characters, some ending in spaces ("DIB "), which a command
    // line drops: compare without them, and without case.
    for (const InstalledCompressor& compressor : installed) {
      if (SameCode(compressor.code, wanted)) chosen = &compressor;
    }
    if (!chosen) {
      error = "no compressor '" + wanted + "' is installed (see --list-compressors)";
      return -1;
    }
  }
  if (chosen->catalogue < 0) {
    error = "the compressor " + chosen->code + " (" + chosen->description + ") cannot take " +
            regionText + "; choose another (see --list-compressors)";
  }
  return chosen->catalogue;
}

std::string CompressorText(const std::vector<InstalledCompressor>& installed, std::uint32_t fcc) {
  const std::string code = FourCCText(fcc);
  for (const InstalledCompressor& compressor : installed) {
    if (compressor.code == code) return code + " (" + compressor.description + ")";
  }
  return code;
}

}  // namespace orvenna
