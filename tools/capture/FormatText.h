#pragma once
// How orvix-capture names the format a device connected in: its size and layout, and its
// rate: the camera's own for an Orvix61 device, with the frame interval the connection
// type announces beside it where the two differ (a listed type announces 6 frames per
// second at every size until the process has connected at another).
#include <windows.h>
#include <dshow.h>

#include <string>

// "1024x768 RGB32, top-down, 3145728 bytes per frame".
std::string FormatText(const VIDEOINFOHEADER& header, const GUID& subtype);

// The rate line, without its line end. `cameraRate` is the camera's nominal rate for the
// format, or 0 where the device is not the Orvix61 camera or the format not one of its;
// `announcedInterval` is the type's AvgTimePerFrame, 0 or less for none.
std::string RateText(double cameraRate, REFERENCE_TIME announcedInterval);
