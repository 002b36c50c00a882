// Control ids of the options dialog. The dialog itself is the resource named "IDD_OPTION".
#define IDC_RUNON       1001
#define IDC_DRIVE_LABEL 1002
#define IDC_DRIVE       1003
#define IDC_CLOSEON     1004
