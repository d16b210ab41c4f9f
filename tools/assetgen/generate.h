#pragma once

#include <string>
#include <vector>

#include "common.h"
#include "image.h"

namespace assetgen {

// Every file of the data archive, with the archive's folder layout ('/' between folders).
FileSet generateArchive();
// The pictures embedded beside the archive: loader.jpg, the four corner TGAs, the dialog and
// preview bitmaps and the icon.
FileSet generateResources();
// The program icon at each size its icon resource holds, largest first.
std::vector<Image> iconImages();
// The same images as PNG files in the desktop's icon theme layout (icons/hicolor/NxN/apps/).
FileSet desktopIcons();
struct SheetTile {
    std::string label;
    Image image;
    bool alpha;  // shown over a checkerboard
};
// Contact sheet (PNG) of every texture and picture, labelled, followed by the extra tiles.
Bytes contactSheet(const std::vector<SheetTile>& extra = {});

}  // namespace assetgen
