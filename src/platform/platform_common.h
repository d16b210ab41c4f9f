#pragma once

// What the platform implementations share behind platform.h.
#include <string>

#include "platform/platform.h"

namespace platform {

// The time setLocalTimeOverride pinned; false while the system clock counts.
bool fixedLocalTime(LocalTime& time);

// Puts the gamma ramp and the display mode back at the process's normal exit as well; registered
// once, by the first change.
void restoreScreenAtExit();

// Runs the handler setSessionEndHandler gave, if any.
void runSessionEndHandler();

// Adds the words of a failing or falling-back system call to takeFailureNote's text.
inline void noteFailure(const std::string& what)
{
    std::string& note = failureNoteSlot();
    note += note.empty() ? what : "; " + what;
}

}  // namespace platform
