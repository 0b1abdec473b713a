// The pictures of the waterfall and large-room windows, which the main window's
// "&Graphics Export" entries save or print. Each link returns its window's
// picture, creating the window when it does not exist; the entries stay
// disabled while their link is unset.
#pragma once

#include <functional>

namespace zentor {

class PictureBox;

struct GraphicsExportLinks {
  std::function<PictureBox*()> WaterfallPicture;
  std::function<PictureBox*()> LargeRoomPicture;
};
extern GraphicsExportLinks GraphicsExportHooks;

}  // namespace zentor
