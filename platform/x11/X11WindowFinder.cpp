#include "platform/x11/X11WindowFinder.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "platform/x11/X11Connection.h"

namespace orvenna {
namespace {

// Windows nest only a few levels deep; the limits keep a lookup short on a strange tree.
constexpr int kDeepestChain = 32;
constexpr int kClientSearchLevels = 3;
constexpr int kClientSearchWindows = 64;

}  // namespace

X11WindowFinder::X11WindowFinder(std::string displayName) : displayName_(std::move(displayName)) {}

X11WindowFinder::~X11WindowFinder() = default;

bool X11WindowFinder::Connect() {
  if (connection_ != nullptr && !connection_->Broken()) return true;
  connection_.reset();
  std::string error;
  connection_ = X11Connection::Open(displayName_, error);
  if (connection_ == nullptr) return false;
  wmState_ = XInternAtom(connection_->display(), "WM_STATE", False);
  frameExtents_ = XInternAtom(connection_->display(), "_NET_FRAME_EXTENTS", False);
  return connection_->Sync();
}

bool X11WindowFinder::HasProperty(unsigned long window, unsigned long property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(connection_->display(), window, property, 0, 0, False,
                                        AnyPropertyType, &type, &format, &count, &after, &data);
  if (data != nullptr) XFree(data);
  return status == Success && type != None;
}

bool X11WindowFinder::FramesAClient(unsigned long top) {
  Display* display = connection_->display();
  std::deque<std::pair<Window, int>> waiting{{top, 0}};
  int looked = 0;
  while (!waiting.empty() && looked < kClientSearchWindows) {
    const auto [window, level] = waiting.front();
    waiting.pop_front();
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) continue;
    for (unsigned i = 0; i < count; ++i) {
      ++looked;
      if (HasProperty(children[i], wmState_)) {
        XFree(children);
        return true;
      }
      if (level + 1 < kClientSearchLevels) waiting.emplace_back(children[i], level + 1);
    }
    if (children != nullptr) XFree(children);
  }
  return false;
}

bool X11WindowFinder::OuterRect(unsigned long window, Rect& outer) {
  Display* display = connection_->display();
  Window root = None;
  int x = 0;
  int y = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned border = 0;
  unsigned depth = 0;
  if (!XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth)) {
    return false;
  }
  // XGetGeometry places the window within its parent; the screen position of its inside
  // comes from a translation to the root.
  Window child = None;
  if (!XTranslateCoordinates(display, window, connection_->root(), 0, 0, &x, &y, &child)) {
    return false;
  }
  const int edge = static_cast<int>(border);
  outer = Rect{x - edge, y - edge, static_cast<int>(width) + 2 * edge,
               static_cast<int>(height) + 2 * edge};
  return true;
}

void X11WindowFinder::AddFrameExtents(unsigned long client, Rect& outer) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(connection_->display(), client, frameExtents_, 0, 4, False,
                                        XA_CARDINAL, &type, &format, &count, &after, &data);
  if (status == Success && type == XA_CARDINAL && format == 32 && count == 4) {
    // Xlib hands 32-bit items out as longs: left, right, top, bottom.
    const auto* extents = reinterpret_cast<const long*>(data);
    const auto side = [](long value) { return static_cast<int>(std::clamp(value, 0L, 10000L)); };
    outer.left -= side(extents[0]);
    outer.width += side(extents[0]) + side(extents[1]);
    outer.top -= side(extents[2]);
    outer.height += side(extents[2]) + side(extents[3]);
  }
  if (data != nullptr) XFree(data);
}

bool X11WindowFinder::WindowAt(Point point, const std::vector<std::uint64_t>& ignored,
                               FoundWindow& found) {
  if (!Connect()) return false;
  Display* display = connection_->display();
  const Window root = connection_->root();
  (void)connection_->Sync();  // forgets the errors of earlier lookups

  // The chain from the root down to the deepest mapped window that contains the point.
  std::vector<Window> chain{root};
  while (static_cast<int>(chain.size()) < kDeepestChain) {
    int x = 0;
    int y = 0;
    Window child = None;
    if (!XTranslateCoordinates(display, root, chain.back(), point.x, point.y, &x, &y, &child) ||
        child == None) {
      break;
    }
    chain.push_back(child);
  }
  for (const Window window : chain) {
    if (std::find(ignored.begin(), ignored.end(), std::uint64_t{window}) != ignored.end()) {
      return false;
    }
  }

  // The application's client window: the first one the window manager marked.
  std::size_t client = 0;
  for (std::size_t i = 1; i < chain.size() && client == 0; ++i) {
    if (HasProperty(chain[i], wmState_)) client = i;
  }
  Window target = root;
  if (client != 0 && client + 1 < chain.size()) {
    target = chain.back();  // a control inside the client
  } else if (client == 0 && chain.size() > 2 && !FramesAClient(chain[1])) {
    target = chain.back();  // no window manager around this window: its children are controls
  } else if (chain.size() > 1) {
    target = chain[1];  // the top-level window, with the window manager's frame
  }

  Rect outer;
  if (!OuterRect(target, outer)) return false;
  // A window manager that does not reparent draws its frame outside the client window.
  if (client == 1 && target == chain[1]) AddFrameExtents(target, outer);
  if (!connection_->Sync()) return false;  // a window of the chain went away meanwhile
  found.window = target;
  found.topLevel = chain.size() > 1 ? chain[1] : root;
  found.outer = outer;
  return true;
}

}  // namespace orvenna
