// Window messages of ZqRunner and the commands other processes send it. Numbers are fixed:
// the Java client and other ZqRunner processes post them.
#pragma once

constexpr unsigned kWmUser = 0x0400;
constexpr unsigned WMAPP_CLIENT_ACTIVATE = kWmUser + 1;       // to the Java client's window
constexpr unsigned WMAPP_RUNNER_TRAY = kWmUser + 1117;        // 2141
constexpr unsigned WMAPP_RUNNER_TICK = kWmUser + 1118;        // 2142
constexpr unsigned WMAPP_RUNNER_UPDATE = kWmUser + 1119;      // 2143
constexpr unsigned WMAPP_RUNNER_COUNTDOWN = kWmUser + 1120;   // 2144, to warning dialogs
constexpr unsigned WMAPP_RUNNER_SNOOZE_WARNING = kWmUser + 1122;
constexpr unsigned WMAPP_RUNNER_SNOOZE_START = kWmUser + 1123;
constexpr unsigned WMAPP_RUNNER_SHUTDOWN_BACKUP = kWmUser + 1124;
constexpr unsigned WMAPP_RUNNER_SHUTDOWN_NOBACKUP = kWmUser + 1125;

constexpr unsigned kTrayIconId = 123;
constexpr unsigned kActivateWParam = 123;
constexpr unsigned kActivateLParam = 515;  // WM_LBUTTONDBLCLK
constexpr unsigned kTrayRightButtonUp = 517;

// Names shared with the Java client and other instances.
constexpr const char* kMainWindowClass = "TSWEXEForm";
constexpr const char* kMainWindowClassRegistered = "TSWExeForm";
constexpr const char* kMainWindowTitle = "SWEXEForm";
constexpr const char* kClientWindowClass = "KorvelBackupWindowClass";
constexpr const char* kClientWindowTitle = "KorvelBackupWindow";
constexpr const char* kInstanceMutex = "StowlyClientEXE";
