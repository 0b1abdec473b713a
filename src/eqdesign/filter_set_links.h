// Sets the main window's links to the filter-set sorts and the modes list.
#pragma once

namespace zentor {

void InstallFilterSetLinks();

}  // namespace zentor
