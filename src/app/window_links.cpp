#include "app/window_links.h"

namespace zentor {

void InstallWindowLinks() {}

}  // namespace zentor
