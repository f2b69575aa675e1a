// A window of a frame's pixels, for rendering or holding part of a frame.
#pragma once

#include <cstddef>

namespace xr {

// Columns x0 to x1 and rows y0 to y1 of a frame, each end excluded, so that
// x1 - x0 is the window's width.
struct PixelRegion {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    // Where the frame's pixel (x, y), within the window, lies in an image of
    // the window stored row by row.
    size_t index(int x, int y) const { return size_t(y - y0) * size_t(width()) + size_t(x - x0); }
    bool inside(int frame_width, int frame_height) const {
        return x0 >= 0 && y0 >= 0 && x1 <= frame_width && y1 <= frame_height;
    }
    bool overlaps(const PixelRegion& o) const {
        return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1;
    }
    bool operator==(const PixelRegion& o) const {
        return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1;
    }
};

// Where a film lies in the frame it is a window of (a tile).
struct FrameWindow {
    int width = 0, height = 0; // of the whole frame
    PixelRegion region;        // what the film holds

    bool operator==(const FrameWindow& o) const {
        return width == o.width && height == o.height && region == o.region;
    }
};

} // namespace xr
