#pragma once

namespace orvenna {

// Makes sure descriptors 0, 1 and 2 are open, on /dev/null where they were closed. A program
// started with one of them closed would otherwise hand that number to the next file it opens
// (the X connection, a recording) and later write its messages into it. Call first in main(),
// before anything opens a file.
void OpenStandardStreams();

}  // namespace orvenna
