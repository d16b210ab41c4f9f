// assetgen: makes every data file of the product, the same bytes on every run.
//   assetgen ARCHIVE_DIR [RESOURCE_DIR] [--contact-sheet FILE.png] [--previews DIR]
#include <cstdio>
#include <cstring>
#include <string>

#include "generate.h"
#include "image.h"
#include "images.h"
#include "textures.h"

using namespace assetgen;

int main(int argc, char** argv)
{
    std::string archiveDir, resourceDir, sheet, previews;
    for (int i = 1; i < argc; ++i) {
        const bool takesValue = !std::strcmp(argv[i], "--contact-sheet") || !std::strcmp(argv[i], "--previews");
        if (takesValue && i + 1 >= argc) {
            std::fprintf(stderr, "assetgen: %s needs a value\n", argv[i]);
            return 2;
        }
        if (!std::strcmp(argv[i], "--contact-sheet")) sheet = argv[++i];
        else if (!std::strcmp(argv[i], "--previews")) previews = argv[++i];
        else if (!std::strcmp(argv[i], "--help")) {
            std::puts("usage: assetgen ARCHIVE_DIR [RESOURCE_DIR] [--contact-sheet FILE.png] [--previews DIR]");
            return 0;
        } else if (argv[i][0] == '-') {
            // Taken as a folder, a misspelt option would be filled with the whole content.
            std::fprintf(stderr, "assetgen: unknown option %s\n", argv[i]);
            return 2;
        } else if (archiveDir.empty()) archiveDir = argv[i];
        else if (resourceDir.empty()) resourceDir = argv[i];
        else {
            std::fprintf(stderr, "assetgen: unexpected argument %s\n", argv[i]);
            return 2;
        }
    }
    if (archiveDir.empty() && sheet.empty() && previews.empty()) {
        std::fprintf(stderr, "usage: assetgen ARCHIVE_DIR [RESOURCE_DIR] [--contact-sheet FILE.png] [--previews DIR]\n");
        return 2;
    }
    // Every caption and the clock digits are set in DejaVu; without it the pictures would be blank.
    for (const char* font : {"DejaVuSans.ttf", "DejaVuSans-ExtraLight.ttf", "DejaVuSansCondensed-Bold.ttf"})
        if (renderText(fontFile(font), "0", 12).width == 0) {
            std::fprintf(stderr, "assetgen: cannot render with %s (install fonts-dejavu-core)\n", fontFile(font).c_str());
            return 1;
        }
    if (!archiveDir.empty() && !writeFiles(archiveDir, generateArchive())) return 1;
    if (!resourceDir.empty() && !(writeFiles(resourceDir, generateResources()) && writeFiles(resourceDir, desktopIcons())))
        return 1;
    if (!sheet.empty()) {
        Bytes png = contactSheet();
        FILE* f = std::fopen(sheet.c_str(), "wb");
        bool written = f && std::fwrite(png.data(), 1, png.size(), f) == png.size();
        // The last part of the picture goes out only when the file is closed.
        if (f && std::fclose(f) != 0) written = false;
        if (!written) {
            std::fprintf(stderr, "assetgen: cannot write %s\n", sheet.c_str());
            return 1;
        }
    }
    if (!previews.empty()) {
        FileSet files;
        auto add = [&](const char* name, const Image& im, bool alpha) { files.push_back({name, encodePng(im, alpha)}); };
        add("cell.png", cellTexture(), false);
        add("env.png", environmentTexture(), false);
        add("d_env.png", deepEnvironmentTexture(), false);
        add("hcore.png", chromatinTexture(), false);
        add("dna.png", glossTexture(), false);
        add("link.png", linkTexture(), false);
        add("c.png", digitAtlas(), false);
        add("loader.png", loaderPicture(), false);
        add("badge.png", loadingBadge(), true);
        add("dialog.png", dialogPicture(), false);
        add("preview.png", previewPicture(), false);
        add("icon.png", iconPicture(), true);
        if (!writeFiles(previews, files)) return 1;
    }
    return 0;
}
