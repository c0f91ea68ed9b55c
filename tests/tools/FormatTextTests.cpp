#include "FormatText.h"
#include "camera/FormatTable.h"

#include <gtest/gtest.h>

// The camera's rate comes first; the type's interval is named beside it only where it
// says something else, and a device that is not the camera has only the interval.
TEST(FormatText, NamesTheCamerasRateAndAnAnnouncedIntervalThatDiffers)
{
    EXPECT_EQ("Camera rate: 18 frames per second nominally; its connection type announces "
              "166.667 ms a frame (6.00 frames per second)",
              RateText(18, FrameIntervalAt(6)));
    EXPECT_EQ("Camera rate: 30 frames per second nominally, as its connection type announces",
              RateText(30, FrameIntervalAt(30)));
    EXPECT_EQ("Camera rate: 6 frames per second nominally; its connection type announces no "
              "frame interval",
              RateText(6, 0));
    EXPECT_EQ("Announced:   33.333 ms a frame (30.00 frames per second), by the connection type",
              RateText(0, 333333));
    EXPECT_EQ("Announced:   no frame interval, by the connection type", RateText(0, -1));
}

TEST(FormatText, NamesSizeLayoutAndSubtype)
{
    VIDEOINFOHEADER header = {};
    header.bmiHeader.biWidth = 512;
    header.bmiHeader.biHeight = -384;
    header.bmiHeader.biSizeImage = 589824;
    EXPECT_EQ("512x384 RGB24, top-down, 589824 bytes per frame",
              FormatText(header, MEDIASUBTYPE_RGB24));
    header.bmiHeader.biHeight = 384;
    EXPECT_EQ("512x384 subtype {E436EB7B-524F-11CE-9F53-0020AF0BA770}, bottom-up, 589824 bytes "
              "per frame",
              FormatText(header, MEDIASUBTYPE_RGB565));
}
