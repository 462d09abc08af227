#include <sys/mman.h>
#include <unistd.h>

#include "ViewerLink.h"

void RemoveSharedBlock(const TViewerBlockNames& names) {
  shm_unlink(("/" + names.map).c_str());
  unlink(("/dev/shm/" + names.mutex).c_str());
  unlink(("/tmp/" + names.mutex).c_str());
}
