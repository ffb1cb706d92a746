// Resource identifiers shared by the add-in, its resource scripts and the per-language resource modules.
#pragma once

#define IDS_PROJNAME 100
#define IDS_FILE_PATTERN 101
#define IDS_FILE_TYPE_NAME 102
#define IDS_SAVE_TITLE 104

#define IDR_CONNECT_SCRIPT 101
#define IDR_CALLBACKINTERFACE_SCRIPT 102

#define IDR_RIBBONX 201
#define IDI_BUTTON 202
