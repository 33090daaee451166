// Comma lists: a text of entries separated by ",", as the schedule keeps each day's hours.
// An entry is whatever stands between two commas, never trimmed.
#pragma once
#include <string>

// Number of entries, counted from the left: an empty entry before a comma counts, the
// empty rest after a final comma does not. "" -> 0, "5" -> 1, "5," -> 1, ",5" -> 2,
// "5,,7" -> 3.
int ListCount(const std::string& text);
// Entry `j` counted from 0: the characters between the j-th and the (j+1)-th comma.
// Empty when there is no such entry (j < 0 or j >= the number of commas + 1).
std::string ListItem(const std::string& text, int j);
