// Connects the large-room window to the main window: its menu command, the
// "Graphics Export" entries for its picture, and its unloading when the loaded set
// changes.
#pragma once

namespace zentor {

void InstallLargeRoomLinks();

}  // namespace zentor
