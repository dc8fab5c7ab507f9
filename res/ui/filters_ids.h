// Control, string and picture ids of the filters windows.
#pragma once

// Dialogs.
#define IDD_RULE_EDITOR 3100
#define IDD_CONDITION_EDITOR 3140
#define IDD_DNSBL 3160
#define IDD_IMPORT_CONDITIONS 3170

// Rule editor.
#define IDC_RE_RULES 3101
#define IDC_RE_ADD 3102
#define IDC_RE_CLONE 3103
#define IDC_RE_DELETE 3104
#define IDC_RE_UP 3105
#define IDC_RE_DOWN 3106
#define IDC_RE_NAME 3107
#define IDC_RE_SOUND 3108
#define IDC_RE_SOUNDFILE 3109
#define IDC_RE_SOUNDBROWSE 3110
#define IDC_RE_PLAY 3111
#define IDC_RE_SAVE 3112
#define IDC_RE_SAVEPATH 3113
#define IDC_RE_SAVEBROWSE 3114
#define IDC_RE_RUN 3115
#define IDC_RE_CMDLINE 3116
#define IDC_RE_CMDBROWSE 3117
#define IDC_RE_HIDDEN 3118
#define IDC_RE_MARKAS 3119
#define IDC_RE_ICON 3120
#define IDC_RE_ICONPREVIEW 3121
#define IDC_RE_MARKREAD 3122
#define IDC_RE_DELSERVER 3123
#define IDC_RE_FREEBODY 3124
#define IDC_RE_CONTINUE 3125
#define IDC_RE_COLOR 3126
#define IDC_RE_BKCOLOR 3127
#define IDC_RE_SETS 3128
#define IDC_RE_COUNT 3129
#define IDC_RE_SET_ADD 3130
#define IDC_RE_SET_DELETE 3131
#define IDC_RE_SET_IMPORT 3132
#define IDC_RE_SET_CLONE 3133
#define IDC_RE_SET_EXPORT 3134
#define IDC_RE_SET_DNSBL 3135
// Pictures of the six small buttons, in the order of their controls.
#define IDP_RE_SET_FIRST 3180

// Condition-set editor.
#define IDC_CE_RULE 3141
#define IDC_CE_LIST 3142
#define IDC_CE_FIELD 3143
#define IDC_CE_FUNCTION 3144
#define IDC_CE_VALUE 3145
#define IDC_CE_CASE 3146
#define IDC_CE_RAW 3147
#define IDC_CE_AND 3148
#define IDC_CE_DELETE 3149

// DNS Black List.
#define IDC_DB_SERVER 3161
#define IDC_DB_DESCRIPTION 3162
#define IDC_DB_OPEN 3163
#define IDC_DB_RESULTS 3164

// Import conditions.
#define IDC_IC_FIELD 3171
#define IDC_IC_FUNCTION 3172
#define IDC_IC_FILE 3173
#define IDC_IC_BROWSE 3174
