// Control, string and picture ids of the viewer windows.
#pragma once

// Quick Reply dialog.
#define IDD_QUICK_REPLY 1079
#define IDC_QR_TO 1016
#define IDC_QR_FROM 1017
#define IDC_QR_SUBJECT 1018
#define IDC_QR_TEXT 1019
#define IDC_QR_CHARSET 1056

// Message View Settings dialog.
#define IDD_VIEW_SETTINGS 1105
#define IDC_VS_NAME_COLOR 1063
#define IDC_VS_VALUE_COLOR 1064
#define IDC_VS_SOURCE_COLOR 1019
#define IDC_VS_BODY_COLOR 1020
#define IDC_VS_NAME_BOLD 1033
#define IDC_VS_NAME_ITALIC 1034
#define IDC_VS_VALUE_BOLD 1035
#define IDC_VS_VALUE_ITALIC 1036
#define IDC_VS_SOURCE_BOLD 1037
#define IDC_VS_SOURCE_ITALIC 1038
#define IDC_VS_BODY_BOLD 1041
#define IDC_VS_BODY_ITALIC 1042
#define IDC_VS_FONT 1039
#define IDC_VS_SIZE 1040

// Viewer strings.
#define IDS_VIEW_NOT_LOADED 123
#define IDS_VIEW_SOURCE 194
#define IDS_VIEW_MESSAGE 195
#define IDS_VIEW_HEADERS 196
#define IDS_VIEW_FIELD_NAME 197
#define IDS_VIEW_FIELD_VALUE 198
#define IDS_VIEW_COPY 199
#define IDS_VIEW_SETTINGS 200
#define IDS_VIEW_LOG 209
#define IDS_VIEW_ATTACHMENTS 1089

// Connection-log pictures (16x16 PNG), in the log list's order: received,
// sent, information, other, error.
#define IDP_LOG_RECEIVED 1118
#define IDP_LOG_SENT 1120
#define IDP_LOG_INFO 1119
#define IDP_LOG_OTHER 1121
#define IDP_LOG_ERROR 1117
