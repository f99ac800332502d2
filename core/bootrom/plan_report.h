// What a programming plan puts on the line and how long it takes, counted from
// the plan and the fixed sequence of its link (boot_link.h); and the plan as log
// lines for a dry run. No port, no waits, no files.
#pragma once

#include <string>

#include "bootrom/program_plan.h"

namespace zentor {

struct PlanCost {
    int codeUnits = 0;   // records (boot ROM) or pages (programmer) of the program
    int dataUnits = 0;   // the same of the DATA FLASH image
    long sentBytes = 0;  // every byte the run writes to the port
    long readBytes = 0;  // every byte it reads, at most (the reply sizes the link reads)
    long pauseMs = 0;    // fixed waits: erases, DopPause after each command, page waits
    // Expected time at `baud` bit/s: 10 bits per byte either way, plus the pauses.
    double Seconds(int baud) const;
};

// The cost of executing `plan` with DopPause `dopPause` (boot ROM only).
PlanCost CostOf(const ProgramPlan& plan, int dopPause);

// "2,3 с": seconds to tenths, decimal comma.
std::string SecondsText(double seconds);

// The plan in the log: link, program and DATA FLASH images (name, bytes,
// addresses, records or pages), the configuration registers, the bytes on the
// line and the expected time at the job's bit rate. dataSource names where
// the DATA FLASH image comes from.
void ShowPlan(Job& s, const ProgramPlan& plan, const std::string& dataSource);

}  // namespace zentor
