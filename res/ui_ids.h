// Resource ids of the plug-in's windows: dialogs, their controls, strings
// and pictures. Language modules carry the same numbers.
#pragma once

// Options sheet frame and pages.
#define IDD_OPTIONS_FRAME 1106
#define IDD_PAGE_OPTIONS 107
#define IDD_PAGE_ACCOUNTS 1107
#define IDD_PAGE_CONNECTION 1111
#define IDD_PAGE_FILTERS 1108
#define IDD_PAGE_NOTIFY 1110
#define IDD_PAGE_ABOUT 1109
// Account sheet pages.
#define IDD_ACCOUNT_OPTIONS 1083
#define IDD_ACCOUNT_INCOMING 1082
#define IDD_ACCOUNT_OUTGOING 1081
// Pickers.
#define IDD_ICON_PICKER 1031
#define IDD_MSGICON_PICKER 1070

// Frame controls.
#define IDC_FRAME_TABS 1013
#define IDC_FRAME_LABEL 1014
#define IDC_FRAME_PLACE 1015

// Page "Options".
#define IDC_OPT_READER 1026
#define IDC_OPT_BROWSE 1017
#define IDC_OPT_OPENLIST 1030
#define IDC_OPT_MARKREAD 1029
#define IDC_OPT_CLOSELIST 1032
#define IDC_OPT_DATEFORMAT 1023
#define IDC_OPT_CONFIRM_DELETE 1033
#define IDC_OPT_CONFIRM_LOAD 1034
#define IDC_OPT_CONFIRM_DBLCLICK 1035
#define IDC_OPT_LIST_HOTKEY 1074
#define IDC_OPT_READER_HOTKEY 1075

// Page "Accounts".
#define IDC_ACC_LIST 1018
#define IDC_ACC_CREATE 1020
#define IDC_ACC_EDIT 1021
#define IDC_ACC_DELETE 1011
#define IDC_ACC_UP 1022
#define IDC_ACC_DOWN 1027

// Page "Connection".
#define IDC_CON_DIRECT 1071
#define IDC_CON_MANUAL 1072
#define IDC_CON_SERVER 1000
#define IDC_CON_PORT 1003
#define IDC_CON_SOCKS4 1074
#define IDC_CON_SOCKS5 1075
#define IDC_CON_HTTP 1073
#define IDC_CON_USER 1001
#define IDC_CON_PASSWORD 1002

// Page "Filters".
#define IDC_FLT_USE 1033
#define IDC_FLT_EDIT 1025
#define IDC_FLT_LOG 1034
#define IDC_FLT_LOGFILE 1016
#define IDC_FLT_LOGFILE_LABEL 1048
#define IDC_FLT_BROWSE 1021
#define IDC_FLT_HEADER 1036
#define IDC_FLT_SUBJECT 1039
#define IDC_FLT_FROM 1037
#define IDC_FLT_TO 1038

// Page "Notify".
#define IDC_NTF_ICON 1031
#define IDC_NTF_ANIM 1032
#define IDC_NTF_SMALL 1016
#define IDC_NTF_SMALL_BROWSE 1018
#define IDC_NTF_LARGE 1066
#define IDC_NTF_LARGE_BROWSE 1020
#define IDC_NTF_ICONFILE 1021
#define IDC_NTF_ICON_BROWSE 1022
#define IDC_NTF_SHOWNUM 1033
#define IDC_NTF_NOSOUND 1034
#define IDC_NTF_TIME1 1053
#define IDC_NTF_TIME2 1054

// Page "About".
#define IDC_ABOUT_VERSION 1026
#define IDC_ABOUT_PICTURE 1068
#define IDC_ABOUT_LINK1 1069
#define IDC_ABOUT_LINK2 1076

// Account page 0.
#define IDC_AO_NAME 1016
#define IDC_AO_PROTECT 1034
#define IDC_AO_INTERVAL 1008
#define IDC_AO_TIMEOUT 1012
#define IDC_AO_SUSPEND 1033
#define IDC_AO_CONNECTION 1039
#define IDC_AO_SOUND 1006
#define IDC_AO_SOUND_BROWSE 1020
#define IDC_AO_PLAY 1026
#define IDC_AO_COMMAND 1007
#define IDC_AO_COMMAND_BROWSE 1017
#define IDC_AO_WORKDIR 1009
#define IDC_AO_WORKDIR_BROWSE 1018
#define IDC_AO_HIDDEN 1035
#define IDC_AO_DELAY 1013
// Account pages 1 and 2.
#define IDC_SRV_SERVER_IN 1017
#define IDC_SRV_SERVER_OUT 1054
#define IDC_SRV_PORT 1019
#define IDC_SRV_USER 1001
#define IDC_SRV_PASSWORD 1002
#define IDC_SRV_AUTH 1051
#define IDC_SRV_NAME 1016
#define IDC_SRV_FROM 1004
#define IDC_SRV_NONE 1070
#define IDC_SRV_TLS 1071
#define IDC_SRV_SSL 1072

// Icon picker.
#define IDC_ICP_FILE 1001
#define IDC_ICP_BROWSE 1002
#define IDC_ICP_LIST 1003
#define IDC_ICP_SMALL 1004
// Message-icon picker.
#define IDC_MIP_LIST 1001

// Strings.
#define IDS_CONFIRM_REMOVE_ACCOUNT 103
#define IDS_TAB_OPTIONS 125
#define IDS_TAB_ACCOUNTS 126
#define IDS_CONN_IE 130
#define IDS_CONN_MODEM 131
#define IDS_CONN_LAN 132
#define IDS_AUTH_PLAIN 166
#define IDS_AUTH_APOP 167
#define IDS_ACCPAGE_OPTIONS 176
#define IDS_ACCPAGE_INCOMING 177
#define IDS_ACCPAGE_OUTGOING 178
#define IDS_ACCOUNT_SHEET 179
#define IDS_DESC_OPTIONS 201
#define IDS_DESC_ACCOUNTS 202
#define IDS_TAB_FILTERS 203
#define IDS_DESC_FILTERS 204
#define IDS_TAB_NOTIFY 205
#define IDS_DESC_NOTIFY 206
#define IDS_DESC_ABOUT 207
#define IDS_TAB_ABOUT 208
#define IDS_TAB_CONNECTION 229
#define IDS_DESC_CONNECTION 230
// Refusals of a page whose field holds a value it cannot store.
#define IDS_BAD_PORT_IN 1501
#define IDS_BAD_PORT_OUT 1502
#define IDS_BAD_PORT_PROXY 1503

// PNG pictures: the sheet's tabs and the about picture.
#define IDP_TAB_OPTIONS 1107
#define IDP_TAB_ACCOUNTS 1108
#define IDP_TAB_CONNECTION 1123
#define IDP_TAB_FILTERS 1109
#define IDP_TAB_NOTIFY 1112
#define IDP_TAB_ABOUT 1111
#define IDP_ABOUT 1110

// The viewer, the list window and the filter editors keep their ids apart.
#include "ui/viewer_ids.h"
#include "ui/list_ids.h"
#include "ui/filters_ids.h"
