#include "platform/x11/X11Cursor.h"

#include <X11/extensions/Xfixes.h>

#include <memory>
#include <utility>

#include "platform/x11/X11Connection.h"

namespace orvenna {
namespace {

// The calling thread's connection to one display, replaced when another display is asked for
// or the server went away.
struct ThreadConnection {
  std::string displayName;
  std::unique_ptr<X11Connection> connection;
  bool hasFixes = false;
};

ThreadConnection* ConnectionOfThisThread(const std::string& displayName) {
  thread_local ThreadConnection current;
  if (current.connection != nullptr &&
      (current.displayName != displayName || current.connection->Broken())) {
    current.connection.reset();
  }
  if (current.connection == nullptr) {
    std::string error;
    current.connection = X11Connection::Open(displayName, error);
    if (current.connection == nullptr) return nullptr;
    current.displayName = displayName;
    int eventBase = 0;
    int errorBase = 0;
    current.hasFixes = XFixesQueryExtension(current.connection->display(), &eventBase, &errorBase);
  }
  return &current;
}

}  // namespace

X11Cursor::X11Cursor(std::string displayName) : displayName_(std::move(displayName)) {}

bool X11Cursor::Query(CursorImage& image) {
  ThreadConnection* thread = ConnectionOfThisThread(displayName_);
  if (thread == nullptr || !thread->hasFixes) return false;
  XFixesCursorImage* cursor = XFixesGetCursorImage(thread->connection->display());
  if (cursor == nullptr) {
    thread->connection->Sync();  // clears the recorded error
    return false;
  }
  image.position = Point{cursor->x, cursor->y};
  image.hotSpot = Point{cursor->xhot, cursor->yhot};
  image.width = cursor->width;
  image.height = cursor->height;
  // XFixes hands out 32-bit premultiplied ARGB, one pixel per unsigned long.
  const std::size_t count = std::size_t{cursor->width} * cursor->height;
  image.argb.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    image.argb[i] = static_cast<std::uint32_t>(cursor->pixels[i]);
  }
  XFree(cursor);
  return count > 0;
}

Point X11Cursor::Position() {
  ThreadConnection* thread = ConnectionOfThisThread(displayName_);
  if (thread == nullptr) return Point{};
  Display* display = thread->connection->display();
  Window root = 0;
  Window child = 0;
  int x = 0;
  int y = 0;
  int windowX = 0;
  int windowY = 0;
  unsigned buttons = 0;
  XQueryPointer(display, thread->connection->root(), &root, &child, &x, &y, &windowX, &windowY,
                &buttons);
  return Point{x, y};
}

}  // namespace orvenna
