#pragma once

// Where the caption goes in a frame whose top-left corner is (0, 0). Locations are the radio
// buttons' order: 0 upper right, 1 top centre, 2 upper left, 3 lower right, 4 bottom centre,
// 5 lower left. Any other stored value is drawn as location 0.
namespace caption_placement {

struct Point {
    int x;
    int y;
};

// The top-left corner of a text of textWidth x textHeight pixels in a frame of frameRight x
// frameBottom pixels. A text larger than the frame starts at the left or top edge.
Point Place(int location, int frameRight, int frameBottom, int textWidth, int textHeight);

} // namespace caption_placement
