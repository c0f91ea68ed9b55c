#pragma once
// Resource identifiers of the property pages, shared by Pages.rc and the page code.

#define IDS_FILTER_PAGE_TITLE       101
#define IDS_PIN_PAGE_TITLE          102

#define IDD_FILTER_PAGE             106
#define IDD_PIN_PAGE                107

// Filter page controls
#define IDC_AUTO_EXPOSURE_ENABLE    1017
#define IDC_AUTO_LEVELS_ENABLE      1018
#define IDC_ANTI_FLICKER_ENABLE     1019
#define IDC_EXPOSURE_GAIN           1020
#define IDC_EXPOSURE_INT_TIME       1021
#define IDC_EXPOSURE_MAX_GAIN       1022
#define IDC_EXPOSURE_MAX_INT_TIME   1023
#define IDC_AUTO_LEVELS_MIN_CLIP    1024
#define IDC_AUTO_LEVELS_MAX_CLIP    1025
#define IDC_ANTI_FLICKER_FREQ       1026
#define IDC_CAMERA_NAME             1027

// Pin page controls
#define IDC_COLOUR_SPACE            1008
#define IDC_FRAME_SIZE              1009
#define IDC_COLOUR_SPACE_LABEL      1012
#define IDC_FRAME_SIZE_LABEL        1014
