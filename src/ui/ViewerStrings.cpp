// The viewer's field-name lists: strings allocated by the side that fills
// the list, freed by the receiver.
#include "ui/ViewerMessages.h"

namespace pw::ui {

void FreeViewerStrings(ViewerStringList& list) {
  for (int i = 0; i < list.count; ++i) delete[] list.items[i];
  delete[] list.items;
  list.items = nullptr;
  list.count = 0;
}

}  // namespace pw::ui
