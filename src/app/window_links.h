// The links the windows above the main window give it (its link table and the
// lower layers' hooks), set once at start-up; tests set them the same way.
#pragma once

namespace zentor {

void InstallWindowLinks();

}  // namespace zentor
