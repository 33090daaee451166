// The bubble: a small topmost note in the bottom-right corner of the work area that tells
// the user something about the Java client. Its text blinks; a click (any button) brings
// the client's window forward and closes the bubble. One bubble at a time. GUI thread.
#pragma once
#include <windows.h>

#include <string>

constexpr const char* kBubbleClass = "S9BubbleClass";
constexpr const char* kBubbleTitle = "S9BubbleWindow";
constexpr int kBubbleWidth = 105;
constexpr DWORD kBubbleRepaintMs = 300;

// Shows `text` (the RUNNER_click_to_view_status text with ProductName when empty) in the
// bubble, owned by `owner`. When a bubble is already open only its text changes; it shows
// at the next repaint.
void ShowBubble(HWND owner, const std::string& text);
// The open bubble (class and title as above), or null.
HWND FindBubble();
// The text the bubble shows.
std::string BubbleText();
// What the main window's raise commands use: the bubble over `window` (an HWND) with
// `text`; and closing the open bubble, if any.
void ShowBubbleFor(void* window, const std::string& text);
void CloseBubble();
