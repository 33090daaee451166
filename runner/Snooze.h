// Snooze choices, the snooze flags shared by the warnings and the snooze threads, and the
// time operations the worker threads use. Portable: no windows.h.
#pragma once
#include <array>
#include <atomic>
#include <string>

#include "DateTime.h"
#include "Seams.h"

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
// The same for the will-start warning's snooze. While it runs no missed-backup warning
// opens: the will-start warning comes back at its end and answers both. Raising
// WillStartSnoozeGeneration ends it silently: a will-start warning opened meanwhile.
extern std::atomic<bool> WillStartSnoozePending;
extern std::atomic<unsigned> WillStartSnoozeGeneration;

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

// A countdown or a snooze: `seconds` of real time (IClock::RealMs) from `startMs`. A change
// of the clock, by the user or a daylight-saving rule, neither shortens nor lengthens it.
// Windows counts a sleep as time that passed (GetTickCount goes on); Wine counts only the
// time awake, so there a sleep lengthens a snooze by its length.
class TRealCountdown {
 public:
  TRealCountdown(int seconds, uint32_t startMs) : seconds_(seconds), startMs_(startMs) {}
  // Starting now, by seams::Clock().
  explicit TRealCountdown(int seconds) : TRealCountdown(seconds, seams::Clock().RealMs()) {}
  // The seconds less the whole seconds of real time passed (milliseconds dropped): all of
  // them at first, 0 at the end, negative after it.
  int SecondsLeft(uint32_t realMs) const;
  int SecondsLeft() const { return SecondsLeft(seams::Clock().RealMs()); }

 private:
  int seconds_;
  uint32_t startMs_;
};
// 3725 -> "1h2m5s", 300 -> "5m0s", 45 -> "45s". A negative count gives "0s".
std::string FormatDuration(int seconds);
// The tray tip while a snooze counts down: the RUNNER_Snoozing text and "(left)".
std::string SnoozeTipText(int secondsLeft);
