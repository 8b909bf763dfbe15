#pragma once
// Command and timer numbers of the window, kept as the dialog's own values so
// the handlers read like their system-menu and timer counterparts.

// System-menu command of the About entry. Like every system command its low
// four bits are zero; handlers compare with those bits masked off.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
// The system menu's own Close command.
inline constexpr unsigned SC_CLOSE = 0xF060;
inline constexpr unsigned kSysCommandMask = 0xFFF0;

// The transfer poll timer: the dialog's only timer, every 100 ms.
inline constexpr int kPollTimerId = 1;
inline constexpr int kPollTimerMs = 100;
