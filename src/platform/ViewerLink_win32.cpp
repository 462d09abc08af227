#include "ViewerLink.h"

void RemoveSharedBlock(const TViewerBlockNames&) {}
