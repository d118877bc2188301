// Resource, control and command ids of Velkor. Ids only; the numbers are fixed.
#ifndef VELKOR_RESOURCE_H
#define VELKOR_RESOURCE_H

// Strings
#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109

// Menu and accelerator table (both resource 109)
#define IDM_VELKOR 109

// Dialogs
#define IDD_ABOUT 103
#define IDD_BITPATTERN 140
#define IDD_COMMAND 807
#define IDD_DEVICE_PROPERTIES 808

// Bitmaps and icons
#define IDB_TOOLBAR 800
#define IDB_TOOLBAR_24 824 // bitmap 800's images at 24 x 24
#define IDB_TOOLBAR_32 832 // and at 32 x 32
#define IDI_VELKOR 107
#define IDI_SMALL 108

// Child windows of the main window
#define IDC_TOOLBAR 801
#define IDC_COMMAND_LIST 25
#define IDC_MESSAGE_LOG 26

// Menu, toolbar and accelerator commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_EDIT_COMMAND_BUTTON 1039
#define IDM_SAVE_COMMANDS_BUTTON 1042
#define IDM_OPEN_DEVICE_BUTTON 1043
#define IDM_CLOSE_DEVICE_BUTTON 1044
#define IDM_SAVE_COMMANDS 32790
#define IDM_OPEN_COMMANDS 32791
#define IDM_NEW_COMMANDS 32792
#define IDM_CLOSE_DEVICE 32799
#define IDM_OPEN_DEVICE 32802
#define IDM_SEND_COMMAND 32806
#define IDM_EDIT_COMMAND 32809
#define IDM_SAVE_LOG 32810
#define IDM_HELP 32811
#define IDM_ADD_COMMAND 32812
#define IDM_READ_PROPERTIES 32813
#define IDM_CHOOSE_DEVICE 65535

// About box (dialog 103)
#define IDC_ABOUT_ICON 2

// Command dialog (dialog 807)
#define IDC_CMD_CANCEL 3
#define IDC_BYTE0 1003
#define IDC_BYTE1 1006
#define IDC_BYTE2 1007
#define IDC_BYTE3 1008
#define IDC_BYTE4 1009
#define IDC_BYTE5 1010
#define IDC_BYTE6 1011
#define IDC_BYTE7 1016
#define IDC_REMARK 1005
#define IDC_BITPATTERN 1017

// Bit-pattern view (dialog 140)
#define IDC_BITTEXT 1003

// Device properties (dialog 808)
#define IDC_WRITE_TIMEOUT 1003
#define IDC_BLOCK_LENGTH 1005
#define IDC_READ_TIMEOUT 1006
#define IDC_PREFIX_BYTE 1007
#define IDC_SUFFIX_BYTE 1008
#define IDC_ENDBYTE_BYTE 1009
#define IDC_TEST_DEVICE 1017
#define IDC_CONNECT 1025
#define IDC_OPEN_REGISTRY 1028
#define IDC_PREFIX_ON 1029
#define IDC_SUFFIX_ON 1030
#define IDC_ENDBYTE_ON 1031
#define IDC_EXCLUSIVE 1033

#endif
