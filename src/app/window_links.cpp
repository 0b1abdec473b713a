#include "app/window_links.h"

#include "eqdesign/filter_edit_links.h"
#include "eqdesign/filter_set_links.h"

namespace zentor {

void InstallWindowLinks() {
  InstallFilterSetLinks();
  InstallFilterEditLinks();
}

}  // namespace zentor
