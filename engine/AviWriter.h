#pragma once

#include "platform/avi/Avi.h"

namespace orvenna {

// The AVI handles of one recording session, each released only if it was obtained.
struct SessionVideoFile {
  PAVIFILE file;
  PAVISTREAM raw;
  PAVISTREAM compressed;
  AVICOMPRESSOPTIONS options;
  AVICOMPRESSOPTIONS* preparedOptions = nullptr;  // set once the options are filled
};

}  // namespace orvenna
