#pragma once

// The still picture shown while the run loads its assets: a full-screen loading image with a
// corner image in each corner, from the executable's own resources (not the archive).

// Shows the drawn back buffer; installed by whoever owns the window (the run, the off-screen
// renderer).
using PresentFrame = void (*)();

// Builds the quad list and loads the five images. Needs a current GL context; once per run.
void prepareLoadingScreen();

// Draws the picture in the 800 x 600 overlay box and presents it through present (when not null).
// The corner images cover 256 x 128 pixels of the current viewport whatever its size.
void showLoadingScreen(PresentFrame present);

// Where corner image i (0 bottom right, 1 bottom left, 2 top left, 3 top right) lies in overlay
// units when drawn into width x height pixels.
struct OverlayRect {
    double x0, y0, x1, y1;
};
OverlayRect loadingCornerRect(int corner, double width, double height);
