// Ids of the resources in Marquill.rc, read by the resource compiler and by
// the exports that name them to the host (plain macros: windres reads this).
#ifndef MARQUILL_RESOURCE_IDS_H
#define MARQUILL_RESOURCE_IDS_H

#define MENU_TEXT_STRING_ID 1
#define STATUS_MESSAGE_STRING_ID 2
#define TOOLBAR_BITMAP_ID 101
#define VERSION_INFO_ID 1

#endif
