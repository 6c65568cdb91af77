#include "platform/x11/X11SharedImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include "platform/x11/X11Connection.h"

namespace orvenna {

X11SharedImage::X11SharedImage(X11Connection& connection) : connection_(connection) {}

X11SharedImage::~X11SharedImage() {
  Release();
}

bool X11SharedImage::Available(X11Connection& connection) {
  return XShmQueryExtension(connection.display()) == True;
}

bool X11SharedImage::Reserve(std::size_t bytes) {
  if (bytes <= capacity_) return true;
  Release();
  const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (id < 0) return false;
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return false;
  }
  segment_.shmid = id;
  segment_.shmaddr = static_cast<char*>(address);
  segment_.readOnly = False;
  const bool attached = XShmAttach(connection_.display(), &segment_) && connection_.Sync();
  // Once both sides are attached, the segment can be marked for removal: it then vanishes
  // with its last attachment, even when this process dies.
  shmctl(id, IPC_RMID, nullptr);
  if (!attached) {
    shmdt(address);
    segment_ = {};
    return false;
  }
  capacity_ = bytes;
  return true;
}

bool X11SharedImage::ReadRows(const Rect& area, int first, int count) {
  Display* display = connection_.display();
  const int screen = DefaultScreen(display);
  // The server writes at the header's offset into the segment: the first row's place.
  char* place = segment_.shmaddr + static_cast<std::ptrdiff_t>(first) * area.width * 4;
  XImage* rows =
      XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                      ZPixmap, place, &segment_, area.width, count);
  if (rows == nullptr) return false;
  const bool read =
      XShmGetImage(display, connection_.root(), rows, area.left, area.top + first, AllPlanes) != 0;
  XFree(rows);
  if (!read) connection_.Sync();  // clears the recorded error
  return read;
}

void X11SharedImage::Release() {
  if (capacity_ == 0) return;
  XShmDetach(connection_.display(), &segment_);
  connection_.Sync();  // the server lets go before the memory goes
  shmdt(segment_.shmaddr);
  segment_ = {};
  capacity_ = 0;
}

}  // namespace orvenna
