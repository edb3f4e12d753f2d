/* resource.h - ids of the check program's resources, by family. */
#ifndef VANTRI_CHECK_RESOURCE_H
#define VANTRI_CHECK_RESOURCE_H

/* Icon, menu and dialog templates */
#define IDI_MAIN            101
#define IDR_MAINMENU        101
#define IDD_PANEL           102
#define IDD_ABOUT           104
#define IDD_PORTIO          105
#define IDD_DEVSELECT       106

/* Strings */
#define IDS_HELP_EXT        3
#define IDS_APP_TITLE       101
#define IDS_PORT1           200
#define IDS_PORT2           201
#define IDS_PORT3           202
#define IDS_PORT4           203
#define IDS_NO_DEVICE       800
#define IDS_CLOSE_FAILED    801
#define IDS_LOAD_FAILED     802
#define IDS_FMT_RANGE       900
#define IDS_FMT_BITS        901
#define IDS_FMT_NUMBER      902
#define IDS_FMT_PORT_TITLE  903
#define IDS_FMT_DEVICE      904
#define IDS_FMT_VERSION     906
#define IDS_FMT_BOARD       907

/* Menu commands */
#define IDM_HELP_TOPICS     40026
#define IDM_EXIT            40027
#define IDM_ABOUT           57664

/* About box */
#define IDC_DLL_VERSION     1065
#define IDC_DRV_VERSION     1066

/* Main panel; the controls of port p are the PORT1 ids + 10 * p */
#define IDC_BOARD_NAME      1000
#define IDC_BASE_LABEL      1001
#define IDC_BASE_ADDRESS    1002
#define IDC_DEVICE_SELECT   1005
#define IDC_PORT1_GROUP     1010
#define IDC_PORT1_IN        1011
#define IDC_PORT1_OUT       1012
#define IDC_PORT1_EXECUTE   1013
#define IDC_PORT2_GROUP     1020
#define IDC_PORT2_IN        1021
#define IDC_PORT2_OUT       1022
#define IDC_PORT2_EXECUTE   1023
#define IDC_PORT3_GROUP     1030
#define IDC_PORT3_IN        1031
#define IDC_PORT3_OUT       1032
#define IDC_PORT3_EXECUTE   1033
#define IDC_PORT4_GROUP     1040
#define IDC_PORT4_IN        1041
#define IDC_PORT4_OUT       1042
#define IDC_PORT4_EXECUTE   1043

/* Device Select dialog */
#define IDC_DEVICE_LIST     1005

/* Port I/O window; bit i is the 0 id + i */
#define IDC_BITGROUP        1100
#define IDC_OUTLED0         1101
#define IDC_OUTBIT0         1109
#define IDC_INLED0          1117
#define IDC_INBIT0          1125

#endif /* VANTRI_CHECK_RESOURCE_H */
