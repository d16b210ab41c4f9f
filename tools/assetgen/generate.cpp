#include "generate.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "image.h"
#include "images.h"
#include "mesh.h"
#include "molecules.h"
#include "music.h"
#include "scenes.h"
#include "textures.h"
#include "tracks.h"

namespace assetgen {

bool writeFiles(const std::string& folder, const FileSet& files)
{
    namespace fs = std::filesystem;
    for (const GeneratedFile& f : files) {
        fs::path path = fs::path(folder) / f.path;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        // Unchanged files keep their time stamps, so nothing downstream rebuilds for nothing.
        if (fs::exists(path, ec) && fs::file_size(path, ec) == f.bytes.size()) {
            std::ifstream in(path, std::ios::binary);
            Bytes old(f.bytes.size());
            if (in.read(reinterpret_cast<char*>(old.data()), static_cast<std::streamsize>(old.size())) && old == f.bytes)
                continue;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(f.bytes.data()), static_cast<std::streamsize>(f.bytes.size()));
        // A small file is still in the stream's buffer: a full disk shows only when it is closed.
        out.close();
        if (!out) {
            std::fprintf(stderr, "assetgen: cannot write %s\n", path.string().c_str());
            return false;
        }
    }
    return true;
}

FileSet generateArchive()
{
    FileSet files;
    files.push_back({"animation/cell.trk", membraneTrack(3, 22.0, 0.085, 101).serialise()});
    files.push_back({"animation/lcell.trk", membraneTrack(2, 22.0, 0.085, 101).serialise()});
    files.push_back({"animation/core.trk", membraneTrack(3, 13.0, 0.06, 202).serialise()});
    files.push_back({"animation/lcore.trk", membraneTrack(2, 13.0, 0.06, 202).serialise()});

    files.push_back({"meshes/sphere.dat", uvSphere().serialise()});
    files.push_back({"meshes/lows.dat", lowSphere().serialise()});
    files.push_back({"meshes/mito.dat", mitochondrion().serialise()});
    files.push_back({"meshes/ribo.dat", ribosome().serialise()});
    files.push_back({"meshes/chrom.dat", chromosome().serialise()});

    std::vector<CellRecord> cells = cellLayout(0xCE11);
    char name[64];
    for (int i = 0; i < 15; ++i) {
        std::snprintf(name, sizeof name, "scenes/cells/scene%d.txt", i);
        std::string text = sceneText(cellsFlight(cells, i));
        files.push_back({name, Bytes(text.begin(), text.end())});
    }
    for (int i = 0; i < 3; ++i) {
        std::snprintf(name, sizeof name, "scenes/core/scene%d.txt", i);
        std::string text = sceneText(coreFlight(i));
        files.push_back({name, Bytes(text.begin(), text.end())});
    }
    for (int i = 0; i < 6; ++i) {
        std::snprintf(name, sizeof name, "scenes/dna/scene%d.txt", i);
        std::string text = sceneText(dnaFlight(i));
        files.push_back({name, Bytes(text.begin(), text.end())});
    }

    // Stored as it was first shipped, upper-case extension and all; the loaders ask for "cell.jpg".
    files.push_back({"textures/cell.JPG", encodeJpeg(cellTexture(), 90)});
    files.push_back({"textures/env.jpg", encodeJpeg(environmentTexture(), 88)});
    files.push_back({"textures/d_env.jpg", encodeJpeg(deepEnvironmentTexture(), 88)});
    files.push_back({"textures/hcore.jpg", encodeJpeg(chromatinTexture(), 88)});
    files.push_back({"textures/dna.jpg", encodeJpeg(glossTexture(), 92)});
    files.push_back({"textures/link.jpg", encodeJpeg(linkTexture(), 92)});
    files.push_back({"textures/c.jpg", encodeJpeg(digitAtlas(), 95, true)});

    for (int i = 0; i < kMoleculeCount; ++i) {
        std::snprintf(name, sizeof name, "dna%d.dat", i);
        files.push_back({name, serialiseMolecule(molecule(i))});
    }
    files.push_back({"reg_cells.dat", serialiseCells(cells)});
    files.push_back({"music.ogg", encodeOggVorbis(synthesiseMusic(), 0.3f)});
    return files;
}

FileSet generateResources()
{
    FileSet files;
    files.push_back({"loader.jpg", encodeJpeg(loaderPicture(), 92)});
    files.push_back({"4loader_rd.tga", encodeTga32(loadingBadge())});
    files.push_back({"4loader_ld.tga", encodeTga32(clearPixel())});
    files.push_back({"4loader_lu.tga", encodeTga32(clearPixel())});
    files.push_back({"4loader_ru.tga", encodeTga32(clearPixel())});
    files.push_back({"dialog.bmp", encodeBmp24(dialogPicture())});
    files.push_back({"preview.bmp", encodeBmp24(previewPicture())});
    files.push_back({"vesiclar.ico", encodeIco(iconImages())});
    return files;
}

std::vector<Image> iconImages()
{
    Image icon = iconPicture();
    return {resized(icon, 48, 48), resized(icon, 32, 32), resized(icon, 16, 16)};
}

FileSet desktopIcons()
{
    FileSet files;
    for (const Image& image : iconImages()) {
        const std::string size = std::to_string(image.width) + "x" + std::to_string(image.height);
        files.push_back({"icons/hicolor/" + size + "/apps/vesiclar.png", encodePng(image, true)});
    }
    return files;
}

Bytes contactSheet(const std::vector<SheetTile>& extra)
{
    std::vector<SheetTile> tiles;
    tiles.push_back({"textures\\cell.jpg", cellTexture(), false});
    tiles.push_back({"textures\\env.jpg", environmentTexture(), false});
    tiles.push_back({"textures\\d_env.jpg", deepEnvironmentTexture(), false});
    tiles.push_back({"textures\\hcore.jpg", chromatinTexture(), false});
    tiles.push_back({"textures\\dna.jpg", glossTexture(), false});
    tiles.push_back({"textures\\link.jpg", linkTexture(), false});
    tiles.push_back({"textures\\c.jpg (digits)", digitAtlas(), false});
    tiles.push_back({"loader.jpg (125)", loaderPicture(), false});
    tiles.push_back({"4loader_rd.tga (119)", loadingBadge(), true});
    tiles.push_back({"dialog picture (107)", dialogPicture(), false});
    tiles.push_back({"preview picture (112)", previewPicture(), false});
    tiles.push_back({"icon (111)", iconPicture(), true});
    tiles.insert(tiles.end(), extra.begin(), extra.end());
    const int cell = 256, gap = 10, label = 22, columns = 4;
    int rows = static_cast<int>((tiles.size() + columns - 1) / columns);
    Image sheet(columns * (cell + gap) + gap, rows * (cell + gap + label) + gap);
    for (int y = 0; y < sheet.height; ++y)
        for (int x = 0; x < sheet.width; ++x) sheet.set(x, y, {0.11f, 0.11f, 0.13f});
    const std::string font = fontFile("DejaVuSans.ttf");
    for (size_t i = 0; i < tiles.size(); ++i) {
        const Image& src = tiles[i].image;
        double scale = std::min(static_cast<double>(cell) / src.width, static_cast<double>(cell) / src.height);
        int w = std::max(1, static_cast<int>(src.width * scale)), h = std::max(1, static_cast<int>(src.height * scale));
        Image small = (w == src.width && h == src.height) ? src : resized(src, w, h);
        if (!tiles[i].alpha)
            for (size_t k = 3; k < small.px.size(); k += 4) small.px[k] = 1;
        int left = gap + static_cast<int>(i % columns) * (cell + gap);
        int top = gap + static_cast<int>(i / columns) * (cell + gap + label);
        int x = left + (cell - w) / 2, y = top + (cell - h) / 2;
        if (tiles[i].alpha)
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx)
                    sheet.set(x + xx, y + yy, ((xx / 8 + yy / 8) % 2) ? Rgb{0.3f, 0.3f, 0.32f} : Rgb{0.22f, 0.22f, 0.24f});
        blit(sheet, small, x, y);
        Coverage text = renderText(font, tiles[i].label, 13);
        for (int yy = 0; yy < text.height; ++yy)
            for (int xx = 0; xx < text.width; ++xx) {
                int px = left + xx, py = top + cell + 16 - text.baselineY + yy;
                if (px >= sheet.width || py >= sheet.height) continue;
                float a = text.at(xx, yy);
                Rgb under = sheet.rgb(px, py);
                sheet.set(px, py, mix(under, Rgb{0.85f, 0.88f, 0.92f}, a));
            }
    }
    return encodePng(sheet, false);
}

}  // namespace assetgen
