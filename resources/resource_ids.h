/* Resource ids of the Windows programs, shared by the .rc and the code. */
#ifndef PLC_RESOURCE_IDS_H
#define PLC_RESOURCE_IDS_H

#define IDI_PLC_ICON 1  /* class icon, large and small */
#define IDR_FIRMWARE 8  /* the image, resource type "BIN" */
#define IDB_PLC_LOGO 12 /* logo bitmap, drawn at 87 x 28 */
#define PLC_FIRMWARE_TYPE "BIN"

#endif
