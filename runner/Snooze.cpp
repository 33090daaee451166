#include "Snooze.h"

#include "uRunnerResource.h"

std::array<std::string, kSnoozeChoiceCount> SnoozeChoices;
const std::array<int, kSnoozeChoiceCount> SnoozeMinutes = {5, 15, 30, 60, 120};

std::atomic<bool> SnoozeActive{false};
std::atomic<bool> StopSnoozeRequested{false};
std::atomic<int> SnoozeCount{0};
std::atomic<bool> MissedSnoozePending{false};
std::atomic<unsigned> MissedSnoozeGeneration{0};
std::atomic<bool> WillStartSnoozePending{false};
std::atomic<unsigned> WillStartSnoozeGeneration{0};

void FillSnoozeChoices() {
  const std::string minutes = GetText("RUNNER_min");
  SnoozeChoices = {"5 " + minutes, "15 " + minutes, "30 " + minutes,
                   "1 " + GetText("RUNNER_hour"), "2 " + GetText("RUNNER_hours")};
}

bool SnoozeRunning() { return SnoozeActive.load(); }

int SnoozeMinutesAt(int index) {
  if (index < 0 || index >= kSnoozeChoiceCount) return SnoozeMinutes[0];
  return SnoozeMinutes[static_cast<size_t>(index)];
}

void ResetSnoozeForClientRun() {
  SnoozeCount = 0;
  StopSnoozeRequested = true;
  MissedSnoozePending = false;
  WillStartSnoozePending = false;
}

int TRealCountdown::SecondsLeft(uint32_t realMs) const {
  // The counter wraps after 49.7 days: the difference in 32 bits is the time passed.
  const int32_t passedMs = static_cast<int32_t>(realMs - startMs_);
  return static_cast<int>(static_cast<long long>(seconds_) - passedMs / 1000);
}

std::string FormatDuration(int seconds) {
  if (seconds < 0) seconds = 0;
  const int h = seconds / 3600, m = (seconds % 3600) / 60, s = seconds % 60;
  std::string text;
  if (h > 0) text += std::to_string(h) + "h";
  if (m > 0 || h > 0) text += std::to_string(m) + "m";
  return text + std::to_string(s) + "s";
}

std::string SnoozeTipText(int secondsLeft) {
  return GetText("RUNNER_Snoozing") + " (" + FormatDuration(secondsLeft) + ")";
}
