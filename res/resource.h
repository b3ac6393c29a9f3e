#pragma once

// Identifiers shared by the code and the resource script. The numbers are fixed: stored settings,
// the read-me and users' habits know them.

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_MIRVOX_DIALOG 102
#define IDD_CAPTION 149

// Strings
#define IDS_ABOUTBOX 101
#define IDS_START 102
#define IDS_STOP 103
#define IDS_FRAME_COUNT 104
#define IDS_INIT_FAILED 105
#define IDS_WHOLE_SCREEN 106
#define IDS_WRITE_ERROR 107
#define IDS_CAPTURE_ERROR 108
#define IDS_TIP_RECORDING 109
#define IDS_TIP_IDLE 110
#define IDS_README 111
#define IDS_BROWSER_FAILED 112
#define IDS_START_NOTICE 113
#define IDS_APP_TITLE 114
#define IDS_REMAINING 115
#define IDS_UNLIMITED 116
#define IDS_SIZE_CHANGED 117
#define IDS_CAPTION_HELP 118
#define IDS_CAPTION_FACE 119

// Icons, menu, animation clip
#define IDR_MAINFRAME 128
#define IDR_CLIP 129
#define IDI_TRAY_REC1 130
#define IDI_TRAY_REC2 131
#define IDR_TRAY_MENU 134
#define IDI_TRAY_IDLE 142
#define IDI_TRAY_REC0 143

// Recorder dialog (102) controls
#define IDC_FILE_NAME 1000
#define IDC_BROWSE 1001
#define IDC_RATE_SPIN 1002
#define IDC_RATE 1003
#define IDC_ANIMATION 1004
#define IDC_STATUS 1005
#define IDC_SOURCE 1006
#define IDC_RESET 1007
#define IDC_TIME_LIMIT 1013
#define IDC_CAPTION_SETTINGS 1015
#define IDC_CAPTION_ON 1019
#define IDC_FPS 1021
#define IDC_FPS_SPIN 1023

// About box (100) controls
#define IDC_README_ICON 1009

// Caption settings dialog (149) controls
#define IDC_CAPTION_FORMAT 1016
#define IDC_FONT 1017
#define IDC_CAPTION_HELP 1018
#define IDC_LOCATION_FIRST 1020 // 1020 + n is caption location n
#define IDC_LOCATION_LAST 1025

// Commands
#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_START_STOP 20001
#define ID_TRAY_ABOUT 20006

// Notification-area icon
#define TRAY_ICON_ID 1000
#define WM_TRAY_NOTIFY (WM_USER + 1)
