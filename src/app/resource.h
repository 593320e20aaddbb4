// Identifiers shared by the program, its resources and its test driver.
#pragma once

#define IDI_NETSORTER 1
#define IDR_IE_MENU_SCRIPT 101

// Controls of the main window. The check button is IDOK, so Enter in the address box
// presses it.
#define IDC_CMDCHECK 1
#define IDC_FRAME1 1001
#define IDC_TXTADDRES 1002
#define IDC_FRAME2 1003
#define IDC_LABEL1 1004
#define IDC_TXTDOMAIN 1005
#define IDC_LABEL2 1006
#define IDC_TXTIP 1007
#define IDC_LABEL3 1008
#define IDC_TXTTRAFFIC 1009
#define IDC_LABEL4 1010
#define IDC_TXTCOUNTRY 1011
#define IDC_PICNOTIFIER 1012
#define IDC_LABEL5 1013
#define IDC_TXTOWNER 1014

// Menu commands.
#define IDM_FILE_EXIT 40001
#define IDM_VIEW_ALWAYS_ON_TOP 40002
#define IDM_VIEW_TO_TRAY 40003
#define IDM_SETTINGS_ADD 40004
#define IDM_SETTINGS_DEL 40005
#define IDM_SETTINGS_INTERCEPT 40006
#define IDM_SETTINGS_AUTOSTART 40007
#define IDM_HELP_ABOUT 40008
#define IDM_TRAY_OPEN 40009
#define IDM_SETTINGS_ADD_BROWSERS 40010
#define IDM_SETTINGS_DEL_BROWSERS 40011
#define IDM_SETTINGS_COUNTRY_DB 40012
#define IDM_SETTINGS_OWNER_DB 40013
#define IDM_SETTINGS_UPDATE 40014
#define IDM_SETTINGS_AUTO_UPDATE 40015

// Window class names, found by the test driver.
#define NETSORTER_FORM_CLASS L"NetsorterForm1"
#define NETSORTER_NOTIFIER_CLASS L"NetsorterNotifier"
