#pragma once
// Resource and control numbers shared by ORV_VEDaviror.rc and the dialog code.
// Plain #defines so that the resource compiler can read them too.

#define IDD_SETTINGS 5000
#define IDD_ABOUT 5002
#define IDB_LOGO 5004

// Settings dialog controls.
#define IDC_SLIDER_Y 5001
#define IDC_OK_BUTTON 5002
#define IDC_CANCEL_BUTTON 5003
#define IDC_SLIDER_U 5004
#define IDC_SLIDER_V 5005
#define IDC_ABOUT_BUTTON 5008
#define IDC_ENABLE_CHECK 5050
#define IDC_COMMON_CHECK 5070
#define IDC_MC_CHECK_Y 5071
#define IDC_LABEL_Y 5072
#define IDC_LABEL_U 5073
#define IDC_LABEL_V 5074
#define IDC_MV_CHECK 5075
#define IDC_AUTO_CHECK_Y 5076
#define IDC_AUTO_CHECK_U 5077
#define IDC_AUTO_CHECK_V 5078
#define IDC_MC_CHECK_U 5079
#define IDC_MC_CHECK_V 5080
#define IDC_DEMO_CHECK 5081
#define IDC_CHANNEL_NAME 5145
#define IDC_THRESHOLD_Y 5146
#define IDC_THRESHOLD_U 5147
#define IDC_THRESHOLD_V 5148
#define IDC_SNR_Y 5149
#define IDC_SNR_U 5150
#define IDC_SNR_V 5151

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
