// Resource ids of the plug-in. Numbers are fixed: language modules carry
// the same ids.
#pragma once

#define IDI_PLUGIN 103

#define IDS_OPEN_MESSAGES_LIST 231
#define IDS_OPEN_MAIL_READER 232
#define IDS_CHECK_MAIL_NOW 32781
#define IDS_MAIL_LIST 32782
#define IDS_PAUSE_CHECK 32801
#define IDS_READ_MAIL 32816
#define IDS_MARK_ALL_READ 32820
#define IDS_PRODUCT 32900
