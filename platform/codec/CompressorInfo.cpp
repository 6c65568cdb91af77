#include <algorithm>

#include "platform/codec/CompressorDriver.h"

namespace orvenna {
namespace {

template <std::size_t N>
void CopyName(const std::string& name, char16_t (&field)[N]) {
  const std::size_t units = std::min(name.size(), N - 1);
  std::transform(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(units), field,
                 [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
  std::fill(field + units, field + N, u'\0');
}

}  // namespace

ICINFO MakeCompressorInfo(std::uint32_t handler, std::uint32_t flags, std::uint32_t version,
                          const std::string& shortName, const std::string& description,
                          const std::string& driverName) {
  ICINFO info;
  info.fccType = ICTYPE_VIDEO;
  info.fccHandler = handler;
  info.dwFlags = flags;
  info.dwVersion = version;
  info.dwVersionICM = kCompressionManagerVersion;
  CopyName(shortName, info.szName);
  CopyName(description, info.szDescription);
  CopyName(driverName, info.szDriver);
  return info;
}

bool ChooseConfiguration(Shell& shell, WindowHandle parent, const std::string& shortName,
                         const std::string& prompt, const std::vector<std::string>& labels,
                         std::atomic<int>& choice) {
  const int chosen =
      shell.ChooseItem(parent, shortName + " settings", prompt, labels, choice.load());
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= labels.size()) return false;
  choice.store(chosen);
  return true;
}

}  // namespace orvenna
