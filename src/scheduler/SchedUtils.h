// Small conversions and tests shared by the scheduler component, its task
// items and triggers: ISO 8601 durations and date-times, the ".job"
// extension of first-generation names, the rule a task name must keep, the
// name comparisons the task list is sorted and searched with.
#pragma once

#include <cstdint>
#include <string>

#include "scheduler/SchedTime.h"

namespace lorvant {

// "P%dDT%dH%dM" with days, "PT%dH%dM" with hours, else "PT%dM".
std::string MinutesToIsoDuration(uint32_t minutes);
// Days, hours and minutes of an ISO 8601 duration, as minutes; other
// fields count nothing; an empty or unparsable text gives 0.
uint32_t IsoDurationToMinutes(const std::string& text);
// "yyyy-mm-ddThh:nn:ss" (anything after character 19 ignored) as a local
// date-time; "" or a text that is not such a date gives 0.
TDateTime IsoToDateTime(const std::string& text);
// The date-time as "yyyy-mm-ddThh:nn:ss"; 0 gives "".
std::string DateTimeToIso(TDateTime value);

// True on this platform: the second generation is always there.
bool IsVistaOrLater();
// True when the effective user is root.
bool IsUserAdmin();

// name + ".job" unless its extension already is ".job" (any case).
std::string AddJobExtension(const std::string& name);
// name without a final ".job" (any case).
std::string StripJobExtension(const std::string& name);

// Throws ETaskError when name cannot name a task: empty, longer than 200
// bytes, holding '/', a control character or bytes that are not UTF-8,
// beginning with '.', or ending in ".job" (any case). Such names would
// break the store's file names or a crontab line, or be listed as another
// name than the one stored.
void CheckTaskName(const std::string& name);

// The user's locale order without and with regard to letter case;
// negative, zero or positive.
int CompareNamesNoCase(const std::string& a, const std::string& b);
int CompareNamesCase(const std::string& a, const std::string& b);

// A printf-style "%d" / "%s" formatter for the component's message texts.
std::string FormatText(const char* pattern, const std::string& arg);
std::string FormatText(const char* pattern, long long arg);

}  // namespace lorvant
