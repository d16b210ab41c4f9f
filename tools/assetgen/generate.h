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
struct SheetTile {
    std::string label;
    Image image;
    bool alpha;  // shown over a checkerboard
};
// Contact sheet (PNG) of every texture and picture, labelled, followed by the extra tiles.
Bytes contactSheet(const std::vector<SheetTile>& extra = {});

}  // namespace assetgen
