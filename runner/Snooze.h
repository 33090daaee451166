// Snooze choices, the snooze flags shared by the warnings and the snooze threads, and the
// two time operations the worker threads use. Portable: no windows.h.
#pragma once
#include <array>
#include <atomic>
#include <string>

#include "DateTime.h"

constexpr int kSnoozeChoiceCount = 5;

// The entries of the snooze lists of both warnings ("5 min" ... "2 hours"), filled once
// by FillSnoozeChoices at start-up; entry i stands for SnoozeMinutes[i].
extern std::array<std::string, kSnoozeChoiceCount> SnoozeChoices;
extern const std::array<int, kSnoozeChoiceCount> SnoozeMinutes;  // 5, 15, 30, 60, 120

// Set while a snooze thread runs; OnTimerTick then leaves TrayTip to it. Two snoozes may
// overlap: the first to end clears the flag.
extern std::atomic<bool> SnoozeActive;
// Set by every client run: a running snooze thread then ends without posting.
extern std::atomic<bool> StopSnoozeRequested;
// Snoozes taken since the last client run (raised by the will-start warning's Snooze).
extern std::atomic<int> SnoozeCount;
// Set while the missed-backup warning is snoozed (it comes back at the snooze's end).
// Raising MissedSnoozeGeneration ends that snooze silently: a will-start warning took the
// warning's place.
extern std::atomic<bool> MissedSnoozePending;
extern std::atomic<unsigned> MissedSnoozeGeneration;

// Fills SnoozeChoices from the text table (RUNNER_min, RUNNER_hour, RUNNER_hours).
// Start-up, GUI thread, before any warning exists.
void FillSnoozeChoices();
bool SnoozeRunning();
// Minutes of the list entry `index`; an index outside the list (no selection, CB_ERR)
// gives the first entry's 5 minutes.
int SnoozeMinutesAt(int index);
// What every client run does before it starts: the snooze count back to 0 and any
// running snooze told to end silently (a snoozed missed-backup warning does not come back).
void ResetSnoozeForClientRun();

// Hours*3600 + minutes*60 + seconds of the time-of-day part of `t`, milliseconds dropped.
// For a negative `t` (clock set back) the time of day of its absolute value.
int SecondsOfDay(TDateTime t);
// 3725 -> "1h2m5s", 300 -> "5m0s", 45 -> "45s". A negative count gives "0s".
std::string FormatDuration(int seconds);
// The tray tip while a snooze counts down: the RUNNER_Snoozing text and "(left)".
std::string SnoozeTipText(int secondsLeft);
