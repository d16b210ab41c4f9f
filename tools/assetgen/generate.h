#pragma once

#include "common.h"

namespace assetgen {

// Every file of the data archive, with the archive's folder layout ('/' between folders).
FileSet generateArchive();
// The pictures embedded beside the archive: loader.jpg, the four corner TGAs, the dialog and
// preview bitmaps and the icon.
FileSet generateResources();
// Contact sheet of every texture and picture (PNG).
Bytes contactSheet();

}  // namespace assetgen
