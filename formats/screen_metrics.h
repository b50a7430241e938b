#pragma once
// The screen as the metafile writer and the viewers see it. The program fills it from the
// primary screen (platform/); tests pass fixed values.

struct ScreenMetrics {
    int widthPixels = 1920;
    int heightPixels = 1080;
    int widthMillimetres = 508;
    int heightMillimetres = 286;
    double logicalDpi = 96.0;  // converts a metafile's 0.01 mm frame to pixels
};
