// Identifiers of the program's resources, shared by the resource script
// and the C++ code (kept to plain #defines so that windres reads it).
#pragma once

#define IDI_APP_ICON 1000
#define IDS_APP_TITLE 1000
#define IDD_MAIN_DIALOG 1001
#define IDC_RELEASE_NOTES 1002
#define IDC_PROGRESS 1004
#define IDC_VERSION 1006
#define IDC_UPDATE_FIRMWARE 1007
#define IDC_STATUS 1008
