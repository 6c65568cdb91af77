#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace orvenna {

void OpenStandardStreams() {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // Lower numbers are open by now, so the lowest free number, which open() takes, is this
    // one. The descriptor stays open for the life of the process.
    open("/dev/null", O_RDWR);
  }
}

}  // namespace orvenna
