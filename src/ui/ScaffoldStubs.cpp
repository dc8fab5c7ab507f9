// Entry points whose windows are not built yet; each moves to its own file
// when its window lands.
#include "ui/ViewerMessages.h"

namespace pw::ui {

void FreeViewerStrings(ViewerStringList& list) {
  for (int i = 0; i < list.count; ++i) delete[] list.items[i];
  delete[] list.items;
  list.items = nullptr;
  list.count = 0;
}


}  // namespace pw::ui
