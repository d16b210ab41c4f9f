// assetgen_sheet OUT.png: the contact sheet of the content. Every texture and picture as
// generated, and every mesh and soft body rendered from the embedded archive through the
// product's own loaders on an off-screen GL context.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/keyframes.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "assets/vertex_anim_track.h"
#include "data/data_file.h"
#include "generate.h"
#include "image.h"
#include "platform/headless/headless_gl.h"
#include "render/gl_setup.h"
#include "scenes/camera_path.h"
#include "scenes/dna_helix.h"
#include "data/settings.h"

using namespace assetgen;

namespace {

constexpr int kSize = 256;

struct View {
    float distance;
    float tiltX, turnY;
    float colour[3];
    const char* texture;  // sphere-mapped when set
    bool additiveSkin;    // a second, slightly larger additive pass, as the soft bodies get
};

void beginFrame(const View& view)
{
    glViewport(0, 0, kSize, kSize);
    glClearColor(0.03f, 0.04f, 0.09f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float light[4] = {-0.5f, 0.6f, 0.8f, 0};
    const float white[4] = {1, 1, 1, 1}, ambient[4] = {0.18f, 0.18f, 0.22f, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_NORMALIZE);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    const float specular[4] = {0.63f, 0.8f, 0.94f, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 12);
    glTranslatef(0, 0, -view.distance);
    glRotatef(view.tiltX, 1, 0, 0);
    glRotatef(view.turnY, 0, 1, 0);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
}

void textureOn(const Texture& t)
{
    glEnable(GL_TEXTURE_2D);
    t.bind();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void sphereMap(bool on)
{
    if (on) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
}

Image grab(platform::HeadlessGl& gl)
{
    std::vector<uint8_t> rgba = gl.readPixels();
    Image im(gl.width(), gl.height());
    for (size_t i = 0; i < rgba.size(); ++i) im.px[i] = rgba[i] / 255.0f;
    for (size_t i = 3; i < im.px.size(); i += 4) im.px[i] = 1;
    return im;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: assetgen_sheet OUT.png\n");
        return 2;
    }
    platform::HeadlessGl gl;
    if (!gl.create(kSize, kSize)) {
        std::fprintf(stderr, "assetgen_sheet: no off-screen GL context: %s\n", gl.error());
        return 1;
    }
    initGl();
    Texture cell, gloss, chromatin;
    cell.load("textures\\cell.jpg");
    gloss.load("textures\\dna.jpg");
    chromatin.load("textures\\hcore.jpg");

    std::vector<SheetTile> tiles;
    struct MeshShot {
        const char* label;
        const char* path;
        View view;
        const Texture* texture;
        bool sphereMapped;
    };
    const MeshShot shots[] = {
        {"sphere.dat (atom, glossy)", "meshes\\sphere.dat", {34, 20, 30, {0.2f, 0.85f, 1.0f}, nullptr, false}, &gloss, true},
        {"lows.dat", "meshes\\lows.dat", {34, 20, 20, {0.75f, 0.55f, 1.0f}, nullptr, false}, &cell, false},
        {"mito.dat", "meshes\\mito.dat", {11, 35, 25, {0.1f, 0.5f, 1.0f}, nullptr, false}, &cell, false},
        {"ribo.dat", "meshes\\ribo.dat", {34, 15, 40, {0.85f, 0.8f, 0.95f}, nullptr, false}, &gloss, true},
        {"chrom.dat", "meshes\\chrom.dat", {68, 10, 20, {0.9f, 0.6f, 0.95f}, nullptr, false}, &gloss, true},
    };
    for (const MeshShot& shot : shots) {
        Mesh mesh;
        if (!mesh.load(shot.path)) {
            std::fprintf(stderr, "assetgen_sheet: cannot load %s\n", shot.path);
            return 1;
        }
        beginFrame(shot.view);
        textureOn(*shot.texture);
        sphereMap(shot.sphereMapped);
        glColor4f(shot.view.colour[0], shot.view.colour[1], shot.view.colour[2], 1);
        glCallList(mesh.displayList);
        sphereMap(false);
        tiles.push_back({shot.label, grab(gl), false});
    }

    // The soft bodies roughly as the scenes draw them: a translucent membrane, then a glossy
    // additive skin of the cell texture, sphere-mapped.
    struct BodyShot {
        const char* label;
        const char* path;
        float distance, scale, colour[3];
        const Texture* body;
        float clock;
    };
    const BodyShot bodies[] = {
        {"cell.trk (membrane)", "animation\\cell.trk", 70, 1, {0.35f, 0.8f, 1.0f}, &cell, 0},
        {"cell.trk, key 5", "animation\\cell.trk", 70, 1, {0.95f, 0.45f, 0.9f}, &cell, 5},
        {"core.trk (nucleus)", "animation\\core.trk", 42, 1, {0.8f, 0.55f, 1.0f}, &chromatin, 0},
    };
    for (const BodyShot& b : bodies) {
        VertexAnimTrack track;
        if (!track.load(b.path)) {
            std::fprintf(stderr, "assetgen_sheet: cannot load %s\n", b.path);
            return 1;
        }
        track.advance(b.clock);
        track.advance(0);
        beginFrame({b.distance, 15, 0, {1, 1, 1}, nullptr, false});
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        textureOn(*b.body);
        sphereMap(true);
        glColor4f(b.colour[0], b.colour[1], b.colour[2], 0.5f);  // a cell at a typical viewing distance
        track.bindArrays();
        track.drawFrame();
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        textureOn(cell);
        glPushMatrix();
        glScalef(1.03f, 1.03f, 1.03f);
        glColor4f(b.colour[0], b.colour[1], b.colour[2], 0.5f);
        track.drawFrame();
        glPopMatrix();
        sphereMap(false);
        tiles.push_back({b.label, grab(gl), false});
    }

    // A rough frame of the cell field from a key of the first cells flight: background, inner
    // bodies, membranes and skins with the distance fade, far cells first. Only to judge scale
    // and composition of the data; the scenes draw the real thing.
    {
        platform::HeadlessGl wide;
        wide.create(400, 300);
        initGl();
        Texture cellTex, envTex;
        cellTex.load("textures\\cell.jpg");
        envTex.load("textures\\env.jpg");
        Mesh background, body;
        background.load("meshes\\lows.dat");
        body.load("meshes\\sphere.dat");
        VertexAnimTrack membrane;
        membrane.load("animation\\cell.trk");
        membrane.advance(3);
        membrane.advance(0);
        DataFile cellsFile, sceneFile;
        cellsFile.open("reg_cells.dat");
        sceneFile.open("scenes\\cells\\scene0.txt");
        KeyframeTrack keys;
        parseKeyframes(keys, sceneFile);
        const Keyframe& key = *keys[std::min<size_t>(2, keys.size() - 1)];
        Vector3 forward, up;
        orientationAxes(key.orientation, forward, up);
        const Vector3 eye = key.position;
        struct Placed { Vector3 at, axis; float angle, distance; Vector3 colour; };
        std::vector<Placed> cells;
        uint32_t count = 0;
        cellsFile.read(&count, 4);
        Rng colours(5);
        for (uint32_t i = 0; i < count; ++i) {
            float rec[7];
            cellsFile.read(rec, 28);
            Vector3 p(rec[0], rec[1], rec[2]);
            Vector3 d = p - eye;
            for (float* c : {&d.x, &d.y, &d.z}) *c -= 300.0f * std::round(*c / 300.0f);
            Vector3 col(1 - 0.7f * float(colours.unit()), 1 - 0.7f * float(colours.unit()), 1 - 0.7f * float(colours.unit()));
            cells.push_back({eye + d, Vector3(rec[3], rec[4], rec[5]), rec[6], d.length(), col});
        }
        std::sort(cells.begin(), cells.end(), [](const Placed& a, const Placed& b) { return a.distance > b.distance; });
        glViewport(0, 0, 400, 300);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-0.666665, 0.666665, -0.5, 0.5, 0.6, 1900);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        const float material[4] = {0.629f, 0.799f, 0.941f, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 6.5f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDisable(GL_CULL_FACE);
        glDisable(GL_LIGHTING);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glScalef(2, 1, 1);
        glMatrixMode(GL_MODELVIEW);
        glDepthMask(GL_FALSE);
        glEnable(GL_TEXTURE_2D);
        envTex.bind();
        gluLookAt(0, 0, 0, forward.x, forward.y, forward.z, up.x, up.y, up.z);
        glColor4f(1, 1, 1, 1);
        glScalef(3, 3, 3);
        glCallList(background.displayList);
        glRotatef(90, 0, 1, 0);
        glCallList(background.displayList);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(eye.x, eye.y, eye.z, eye.x + forward.x, eye.y + forward.y, eye.z + forward.z, up.x, up.y, up.z);
        const float headLight[4] = {0, 0, 1, 0};
        glPushMatrix();
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, headLight);
        glPopMatrix();
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
        cellTex.bind();
        membrane.bindArrays();
        for (const Placed& c : cells) {
            float alpha = 1 - (c.distance / 300) * 2;
            if (alpha <= 0) continue;
            const float specular[4] = {0.7f * c.colour.x, 0.7f * c.colour.y, 0.7f * c.colour.z, 1};
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
            glPushMatrix();
            glTranslatef(c.at.x, c.at.y, c.at.z);
            glRotatef(c.angle, c.axis.x, c.axis.y, c.axis.z);
            glPushMatrix();
            glScalef(0.8f, 0.8f, 0.8f);
            glDisable(GL_LIGHTING);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(1 - c.colour.x, 1 - c.colour.y, 1 - c.colour.z, alpha);
            glEnable(GL_CULL_FACE);
            glCallList(body.displayList);
            glEnable(GL_LIGHTING);
            glPopMatrix();
            glColor4f(c.colour.x, c.colour.y, c.colour.z, alpha);
            membrane.drawFrame();
            glPushMatrix();
            glScalef(1.03f, 1.03f, 1.03f);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            sphereMap(true);
            membrane.drawFrame();
            glPopMatrix();
            sphereMap(false);
            glPopMatrix();
        }
        tiles.push_back({"cells: rough frame of scene0", grab(wide), false});

        // The DNA show twenty seconds in, seen from the third key of the first DNA flight.
        currentSettings.Detail = 2;
        static DnaHelix show;
        show.loadMolecule("dna3.dat");
        show.reset();
        for (int frame = 0; frame < 20 * 30; ++frame) show.update(1.0f / 30);
        Texture deepTex;
        deepTex.load("textures\\d_env.jpg");
        DataFile dnaScene;
        dnaScene.open("scenes\\dna\\scene0.txt");
        KeyframeTrack dnaKeys;
        parseKeyframes(dnaKeys, dnaScene);
        const Keyframe& k2 = *dnaKeys[2];
        orientationAxes(k2.orientation, forward, up);
        const Vector3 at = k2.position;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(at.x, at.y, at.z, at.x + forward.x, at.y + forward.y, at.z + forward.z, up.x, up.y, up.z);
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDepthMask(GL_FALSE);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glScalef(2, 1, 1);
        glMatrixMode(GL_MODELVIEW);
        deepTex.bind();
        glColor4f(0.8f, 0.75f, 0.9f, 1);
        glPushMatrix();
        glTranslatef(0, 230, 0);
        glScalef(90, 90, 90);
        glRotatef(40, 1, 1, 0);
        glCallList(background.displayList);
        glRotatef(-40, 0, 1, 1);
        glRotatef(90, 0, 1, 0);
        glCallList(background.displayList);
        glPopMatrix();
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material);
        show.drawMoleculeShow();
        tiles.push_back({"DNA: rough frame of scene0 at 20 s", grab(wide), false});
        gl.makeCurrent();
    }

    Bytes png = contactSheet(tiles);
    FILE* f = std::fopen(argv[1], "wb");
    bool written = f && std::fwrite(png.data(), 1, png.size(), f) == png.size();
    // The last part of the picture goes out only when the file is closed.
    if (f && std::fclose(f) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "assetgen_sheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
